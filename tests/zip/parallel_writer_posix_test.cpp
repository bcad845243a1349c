// Entries compressed on worker threads, checked by Info-ZIP and diff.
#include <thread>

#include "zip/parallel_deflate.h"
#include "zip_fixtures.h"

namespace kestrova::testing {
namespace {

class ParallelWriterPosixTest : public ParallelWriterFixture {};

TEST_F(ParallelWriterPosixTest, EntriesAndEventsFollowTheArchiveOrderOnTheCallingThread) {
  MakeFolder();
  ZipArchiver archiver;
  archiver.SetCompressionLevel(clMax);
  std::vector<std::u16string> started;
  std::u16string open;  // the entry between its start and end events
  bool other_thread = false;
  const auto test_thread = std::this_thread::get_id();
  archiver.OnFileProgress = [&](ZipArchiver&, const std::u16string& name, double, TProcessOperation,
                                TProgressPhase phase, bool&) {
    other_thread |= std::this_thread::get_id() != test_thread;
    if (phase == ppStart) {
      EXPECT_EQ(open, u"") << "entries overlap";
      started.push_back(name);
      open = name;
    } else {
      EXPECT_EQ(name, open);
      if (phase == ppEnd) open.clear();
    }
  };
  CreateArchive(archiver, Path("t.zip"), Path("base"), {u"*.*"});
  EXPECT_FALSE(other_thread);

  ZipArchiver reader;
  reader.FileName = U(Path("t.zip"));
  reader.Open(fmOpenReadDenyNone);
  std::vector<std::u16string> files;
  for (const auto& item : reader.Items()) {
    if (item.IsFolder()) continue;
    files.push_back(U(Path("base/" + std::string(item.name.begin(), item.name.end()))));
    if (item.name == u"big/noise.bin") {
      EXPECT_EQ(item.header.method, 0);
    }
    if (item.name == u"big/text.bin") {
      EXPECT_EQ(item.header.method, 8);
    }
  }
  std::erase_if(started, [](const std::u16string& n) { return !fs::is_regular_file(fs::path(n)); });
  EXPECT_EQ(started, files);
  EXPECT_EQ(Shell("unzip -tq " + Quote(Path("t.zip"))), 0);
  EXPECT_EQ(Shell("unzip -q " + Quote(Path("t.zip")) + " -d " + Quote(Path("unzipped"))), 0);
  EXPECT_EQ(Shell("diff -r " + Quote(Path("base")) + " " + Quote(Path("unzipped"))), 0);
  EXPECT_TRUE(ExtractAll(Path("t.zip"), Path("ours")).empty());
  EXPECT_EQ(Shell("diff -r " + Quote(Path("base")) + " " + Quote(Path("ours"))), 0);
}

}  // namespace
}  // namespace kestrova::testing
