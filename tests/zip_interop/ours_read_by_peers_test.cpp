// Archives we write, checked and extracted by the other archivers people use.
#include <unistd.h>

#include <set>
#include <sstream>

#include "base/text.h"
#include "zip/zip64_limits.h"
#include "zip_interop/interop_support.h"

namespace kestrova::testing {
namespace {

// One source tree and one archive per way of writing it, shared by the whole suite:
// the peers only read them.
class OursReadByPeers : public ::testing::TestWithParam<std::tuple<std::string, std::string>> {
 protected:
  static void SetUpTestSuite() {
    root_ = new TempFolder;
    WriteApplicationTree(root_->path() / "tree");
    source_ = new Tree(Snapshot(root_->path() / "tree"));

    ZipArchiver archiver;
    archiver.SetCompressionLevel(clMax);
    CreateArchive(archiver, Archive("api"), root_->path() / "tree", {u"*.*"});
    {
      // Limits this low put every record the format has for large archives in a small one.
      const Zip64Limits real = std::exchange(WriterZip64Limits(), Zip64Limits{1000, 3});
      ZipArchiver zip64;
      zip64.SetCompressionLevel(clMax);
      CreateArchive(zip64, Archive("zip64"), root_->path() / "tree", {u"*.*"});
      WriterZip64Limits() = real;
    }
    std::string output;
    tool_status_ = Shell(KestrovaZip() + " add " + Quote(Archive("tool")) + " " + Quote(root_->path() / "tree") +
                             " '*.*'",
                         &output);
    tool_output_ = new std::string(output);
  }
  static void TearDownTestSuite() {
    delete root_;
    delete source_;
    delete tool_output_;
  }
  void SetUp() override {
    ASSERT_EQ(tool_status_, 0) << *tool_output_;
    out_ = root_->path() / ("out-" + std::get<0>(GetParam()) + "-" + std::get<1>(GetParam()));
    fs::remove_all(out_);
  }

  static fs::path Archive(const std::string& kind) { return root_->path() / (kind + ".zip"); }
  fs::path ArchiveOfTest() const { return Archive(std::get<0>(GetParam())); }

  /// Every stored name: files by their path, folders with a trailing "/".
  static std::set<std::string> ExpectedNames() {
    std::set<std::string> names;
    for (const auto& [name, entry] : *source_) names.insert(entry.type == 'd' ? name + "/" : name);
    return names;
  }

  static TempFolder* root_;
  static Tree* source_;
  static int tool_status_;
  static std::string* tool_output_;
  fs::path out_;
};

TempFolder* OursReadByPeers::root_ = nullptr;
Tree* OursReadByPeers::source_ = nullptr;
int OursReadByPeers::tool_status_ = -1;
std::string* OursReadByPeers::tool_output_ = nullptr;

std::set<std::string> Lines(const std::string& text) {
  std::set<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.insert(line);
  }
  return lines;
}

TEST_P(OursReadByPeers, PeerTestsTheArchive) {
  const std::string& peer = std::get<1>(GetParam());
  const std::string archive = Quote(ArchiveOfTest());
  std::string output;
  if (std::get<0>(GetParam()) == "zip64") {
    EXPECT_NE(ReadFile(ArchiveOfTest()).find("PK\x06\x06"), std::string::npos) << "no Zip64 end record";
  }
  if (peer == "ours") {
    EXPECT_EQ(Shell(KestrovaZip() + " test " + archive, &output), 0) << output;
  } else if (peer == "unzip") {
    ASSERT_TRUE(HavePeer("unzip"));
    EXPECT_EQ(Shell("unzip -t " + archive, &output), 0) << output;
    EXPECT_NE(output.find("No errors detected"), std::string::npos) << output;
    // Local headers that disagree with the directory show up as warnings here.
    EXPECT_EQ(Shell("zipinfo -v " + archive, &output), 0) << output;
    EXPECT_EQ(output.find("warning"), std::string::npos) << output;
  } else if (peer == "7z") {
    ASSERT_TRUE(HavePeer("7z"));
    EXPECT_EQ(Shell("7z t " + archive, &output), 0) << output;
    EXPECT_NE(output.find("Everything is Ok"), std::string::npos) << output;
    EXPECT_EQ(output.find("Warning"), std::string::npos) << output;
  } else if (peer == "bsdtar") {
    ASSERT_TRUE(HavePeer("bsdtar"));
    ASSERT_EQ(Shell("bsdtar -tf " + archive, &output), 0) << output;
    EXPECT_EQ(Lines(output), ExpectedNames());
  } else {
    const std::string script = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    bad = z.testzip()
    if bad: sys.exit('bad entry: ' + bad)
    print('\n'.join(z.namelist()))
)";
    ASSERT_EQ(RunPython(root_->path(), script, archive, &output), 0) << output;
    EXPECT_EQ(Lines(output), ExpectedNames());
  }
}

TEST_P(OursReadByPeers, PeerExtractsTheSourceTree) {
  const std::string& peer = std::get<1>(GetParam());
  const std::string archive = Quote(ArchiveOfTest());
  const std::string out = Quote(out_);
  std::string output;
  // Info-ZIP, 7-Zip and libarchive restore the Unix mode and the date they find in the
  // entry; python's zipfile restores neither.
  unsigned checks = kExecutableBit | kFileTimes;
  if (peer == "ours") {
    EXPECT_TRUE(ExtractAll(ArchiveOfTest(), out_).empty());
  } else if (peer == "unzip") {
    ASSERT_EQ(Shell("unzip -q " + archive + " -d " + out, &output), 0) << output;
  } else if (peer == "7z") {
    ASSERT_EQ(Shell("7z x -y -o" + out + " " + archive, &output), 0) << output;
  } else if (peer == "bsdtar") {
    fs::create_directories(out_);
    ASSERT_EQ(Shell("bsdtar -xf " + archive + " -C " + out, &output), 0) << output;
  } else {
    const std::string script =
        "import sys, zipfile\nzipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])\n";
    ASSERT_EQ(RunPython(root_->path(), script, archive + " " + out, &output), 0) << output;
    checks = kNamesAndContent;
  }
  EXPECT_EQ(DiffTrees(*source_, Snapshot(out_), checks), "");
}

INSTANTIATE_TEST_SUITE_P(Writers, OursReadByPeers,
                         ::testing::Combine(::testing::Values("api", "tool", "zip64"),
                                            ::testing::Values("unzip", "7z", "bsdtar", "python",
                                                              "ours")),
                         [](const auto& info) {
                           return std::get<0>(info.param) + "_" + std::get<1>(info.param);
                         });

}  // namespace
}  // namespace kestrova::testing
