// Entries compressed on worker threads: order, events and rollback as on one thread,
// and files cut into blocks that join into one valid deflate stream.
#include <zlib.h>

#include <thread>

#include "zip/deflate_stream.h"
#include "zip/parallel_deflate.h"
#include "zip/whole_deflate.h"
#include "zip_fixtures.h"

namespace kestrova::testing {
namespace {


std::string Inflated(const std::vector<unsigned char>& deflated, size_t expected) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, -MAX_WBITS), Z_OK);
  std::string out(expected + 1, '\0');
  z.next_in = const_cast<unsigned char*>(deflated.data());
  z.avail_in = static_cast<uInt>(deflated.size());
  z.next_out = reinterpret_cast<unsigned char*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(out.size() - z.avail_out);
  inflateEnd(&z);
  return out;
}

TEST(DeflateBlockTest, BlocksDeflatedApartJoinIntoTheSourceStream) {
  const std::string source = CompressibleText(3 << 20) + RandomBytes(200000) + CompressibleText(500000);
  const auto* bytes = reinterpret_cast<const unsigned char*>(source.data());
  const struct {
    int level;
    std::vector<size_t> cuts;
  } cases[] = {
      {9, {1000, 40000, 1 << 20, 3 << 20}},  // first blocks shorter than the window
      {1, {source.size() / 2}},
      {6, {}},
  };
  // zlib's blocks look back into the history; the build's pieces (libdeflate's stream
  // opened again after each) may not.
  WholeDeflater deflater;
  for (const bool pieces : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.level << (pieces ? " pieces" : " blocks"));
      std::vector<unsigned char> joined;
      size_t start = 0;
      for (size_t k = 0; k <= c.cuts.size(); ++k) {
        const size_t end = k < c.cuts.size() ? c.cuts[k] : source.size();
        const size_t history = std::min(start, pieces ? PieceHistoryLength() : kDeflateWindow);
        const std::span<const unsigned char> before{bytes + start - history, history};
        const std::span<const unsigned char> block{bytes + start, end - start};
        const bool last = k == c.cuts.size();
        const auto deflated = pieces ? deflater.CompressPiece(c.level, before, block, last)
                                     : DeflateBlock(c.level, before, block, last);
        joined.insert(joined.end(), deflated.begin(), deflated.end());
        start = end;
      }
      EXPECT_LT(joined.size(), source.size() / 2);
      EXPECT_TRUE(Inflated(joined, source.size()) == source);
    }
  }
}

class ParallelWriterTest : public ParallelWriterFixture {};

// Stopped anywhere, with work of later entries done or under way, the archive is as it
// was before the add.
TEST_F(ParallelWriterTest, CancelOrAbortMidWayRollsBack) {
  MakeFolder();
  const struct {
    const char* what;
    const char* stop_in;  // the entry whose progress cancels, or nullptr
    TFileFailureAction action;
  } cases[] = {
      {"cancel in a cut file", "text.bin", fxaIgnore},
      {"cancel in a small file", "f150.txt", fxaIgnore},
      {"abort on a vanished file", nullptr, fxaAbort},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path archive = Path(std::string(c.what) + ".zip");
    ZipArchiver archiver;
    archiver.FileName = U(archive);
    archiver.BaseDir = U(Path("base"));
    archiver.Open(fmCreate);
    archiver.AddMatching(u"small/f1.txt");
    const std::string before = ReadFile(archive);
    archiver.SetCompressionLevel(clMax);
    archiver.OnFileProgress = [&](ZipArchiver&, const std::u16string& name, double,
                                  TProcessOperation, TProgressPhase phase, bool& cancel) {
      if (c.stop_in && phase == ppProcess && name.ends_with(U(std::string(c.stop_in)))) cancel = true;
    };
    archiver.OnStoreFile = [&](ZipArchiver&, std::u16string& name, uint32_t&, std::string&,
                               const std::u16string&) {
      if (!c.stop_in && name == u"small/f200.txt") fs::rename(Path("base/small/f200.txt"), Path("moved"));
    };
    RecordFailures(archiver, c.action);
    archiver.AddMatching(u"*.*");
    if (!c.stop_in) fs::rename(Path("moved"), Path("base/small/f200.txt"));
    EXPECT_EQ(archiver.Count(), 1u);
    EXPECT_EQ(ReadFile(archive), before);
  }
  EXPECT_EQ(failures.size(), 1u) << "the vanished file was not reported";
}

}  // namespace
}  // namespace kestrova::testing
