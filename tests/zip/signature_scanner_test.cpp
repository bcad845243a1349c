// The forward searches the damaged-archive scan and the prefix search rely on: every
// signature candidate, in order, whatever the block edges, in one pass over the file.
#include <random>

#include "zip/inflate_stream.h"
#include "zip/signature_scanner.h"
#include "zip_test_support.h"

namespace kestrova::testing {
namespace {

constexpr SignatureBytes kLocal = {'P', 'K', 3, 4};
const std::string kLocalText("PK\x03\x04", 4);

std::vector<uint64_t> NaiveHits(const std::string& bytes, uint64_t limit) {
  std::vector<uint64_t> hits;
  for (size_t at = bytes.find(kLocalText); at != std::string::npos && at + 4 <= limit;
       at = bytes.find(kLocalText, at + 1)) {
    hits.push_back(at);
  }
  return hits;
}

class SignatureScannerTest : public ZipTest {
 protected:
  NativeFile Store(const std::string& bytes) {
    WriteFile(Path("scan.bin"), bytes);
    NativeFile file = NativeFile::OpenForReading(Path("scan.bin").string());
    EXPECT_TRUE(file.IsOpen());
    return file;
  }
};

// Bytes drawn from the signature's own letters put candidates, partial candidates
// and overlapping ones ("PKPK\3\4") at every distance from every block edge.
TEST_F(SignatureScannerTest, FindsEveryCandidateInOrderAcrossBlockEdges) {
  std::mt19937 random(7);
  std::string bytes(5000, '\0');
  for (char& c : bytes) c = kLocalText[random() % 4];
  bytes.replace(0, 4, kLocalText);
  bytes.replace(bytes.size() - 4, 4, kLocalText);
  const NativeFile file = Store(bytes);
  const std::vector<uint64_t> expected = NaiveHits(bytes, bytes.size());
  ASSERT_GT(expected.size(), 10u);
  for (const size_t block : {4, 5, 6, 7, 64, 1000, 1 << 20}) {
    SignatureScanner scanner(file, bytes.size(), kLocal, block);
    std::vector<uint64_t> found;
    for (auto hit = scanner.Next(0); hit; hit = scanner.Next(*hit + 1)) found.push_back(*hit);
    EXPECT_EQ(found, expected) << "block of " << block;
  }
}

TEST_F(SignatureScannerTest, JumpsAndLimitGiveTheNaiveAnswer) {
  std::mt19937 random(11);
  std::string bytes(3000, '\0');
  for (char& c : bytes) c = kLocalText[random() % 4];
  const NativeFile file = Store(bytes);
  // A limit inside a signature hides it: the record would run past the limit.
  const uint64_t limit = NaiveHits(bytes, bytes.size()).back() + 3;
  const std::vector<uint64_t> expected = NaiveHits(bytes, limit);
  SignatureScanner scanner(file, limit, kLocal, 16);
  const auto naive_next = [&](uint64_t from) -> std::optional<uint64_t> {
    for (const uint64_t hit : expected) {
      if (hit >= from) return hit;
    }
    return std::nullopt;
  };
  // Forward past whole stretches (an entry's data), back again, and repeated.
  for (const uint64_t from : {0, 1, 700, 702, 701, 100, 2000, 2000, 1999, 2990, 0, 3000}) {
    EXPECT_EQ(scanner.Next(from), naive_next(from)) << "from " << from;
  }
}

// The archive that used to take minutes: a rejected candidate every 30 bytes. However
// often the search restarts behind a candidate, the file is read about once.
TEST_F(SignatureScannerTest, RestartingBehindEachCandidateReadsTheFileOnce) {
  std::string record = kLocalText + std::string(26, '\xFF');
  std::string bytes;
  while (bytes.size() < (256 << 10)) bytes += record;
  const NativeFile file = Store(bytes);
  const size_t block = 4096;
  SignatureScanner scanner(file, bytes.size(), kLocal, block);
  size_t count = 0;
  for (auto hit = scanner.Next(0); hit; hit = scanner.Next(*hit + 1)) {
    unsigned char header[30];
    ASSERT_EQ(scanner.ReadAt(*hit, header, sizeof header), sizeof header);
    ASSERT_EQ(std::string(reinterpret_cast<char*>(header), 30), record);
    ++count;
  }
  EXPECT_EQ(count, bytes.size() / record.size());
  EXPECT_LE(scanner.BytesRead(), bytes.size() + (bytes.size() / block + 1) * 3);
}

// Measuring streamed entries of a damaged archive: headers planted inside one long
// deflate stream would each inflate it again to the end, so the scan hands a budget.
TEST_F(SignatureScannerTest, MeasuringDeflateStreamsSpendsTheBudget) {
  const auto stored_block = [](bool final, const std::string& data) {
    const uint16_t n = static_cast<uint16_t>(data.size());
    std::string block{char(final ? 1 : 0), char(n & 0xFF), char(n >> 8), char(~n & 0xFF),
                      char((~n >> 8) & 0xFF)};
    return block + data;
  };
  // A finished stream of 3 + 5 + 200 bytes, then one that claims more than is there.
  const std::string ended = stored_block(false, std::string(3, 'a')) + stored_block(true, std::string(200, 'b'));
  const std::string unended = stored_block(false, std::string(60000, 'c'));
  const NativeFile file = Store(ended + unended.substr(0, 30000));
  const uint64_t size = ended.size() + 30000;

  uint64_t budget = 100000;
  EXPECT_EQ(DeflateStreamLength(file, 0, size, budget), ended.size());
  EXPECT_LE(budget, 100000 - ended.size());
  const uint64_t before = budget;
  EXPECT_EQ(DeflateStreamLength(file, ended.size(), size, budget), std::nullopt);
  EXPECT_EQ(budget, before - 30000) << "the unended stream is read to the end of the file";

  budget = 1000;
  EXPECT_EQ(DeflateStreamLength(file, ended.size(), size, budget), std::nullopt);
  EXPECT_EQ(budget, 0u);
  budget = 0;
  EXPECT_EQ(DeflateStreamLength(file, 0, size, budget), std::nullopt) << "a spent budget reads nothing";
}

}  // namespace
}  // namespace kestrova::testing
