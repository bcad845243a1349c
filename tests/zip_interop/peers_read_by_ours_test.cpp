// Archives other tools write, extracted by ZipArchiver and by a peer extractor (Info-ZIP
// unzip unless noted): both must produce the same tree.
#include <unistd.h>

#include <set>

#include "zip_interop/interop_support.h"

namespace kestrova::testing {
namespace {

struct PeerWriter {
  std::string name;
  std::string program;
  /// Shell command run inside the source tree; $A is the archive to write.
  std::string command;
  /// Whether the archive holds exactly the source tree (jar adds its manifest).
  bool holds_source = true;
  /// The extractor whose tree ours must match.
  std::string reference = "unzip";
};

// Writes the tree with python's zipfile: sys.argv[1] archive, [2] compression, [3]
// "zip64" to force Zip64 records everywhere they can go.
constexpr char kPythonWriter[] = R"(
import os, sys, zipfile
archive, method, mode = sys.argv[1], getattr(zipfile, sys.argv[2]), sys.argv[3]
if mode == 'zip64':
    # Sizes, offsets and the entry count all count as too large, so the directory gets
    # Zip64 extra fields, a Zip64 end record and its locator.
    zipfile.ZIP64_LIMIT = 0
    zipfile.ZIP_FILECOUNT_LIMIT = 0
with zipfile.ZipFile(archive, 'w', method, compresslevel=9 if method else None) as z:
    for folder, subfolders, files in os.walk('.'):
        subfolders.sort()
        for name in sorted(subfolders + files):
            path = os.path.join(folder, name)
            info = zipfile.ZipInfo.from_file(path, os.path.relpath(path, '.'))
            if info.is_dir():
                z.writestr(info, b'')
                continue
            info.compress_type = method
            with open(path, 'rb') as src, z.open(info, 'w', force_zip64=(mode == 'zip64')) as dst:
                dst.write(src.read())
)";

void PrintTo(const PeerWriter& writer, std::ostream* out) { *out << writer.name; }

class PeersReadByOurs : public ::testing::TestWithParam<PeerWriter> {
 protected:
  static void SetUpTestSuite() {
    root_ = new TempFolder;
    WriteApplicationTree(root_->path() / "tree");
    source_ = new Tree(Snapshot(root_->path() / "tree"));
    WriteFile(root_->path() / "writer.py", kPythonWriter);
  }
  static void TearDownTestSuite() {
    delete root_;
    delete source_;
  }

  void SetUp() override {
    dir_ = root_->path() / GetParam().name;
    fs::create_directories(dir_);
    ASSERT_TRUE(HavePeer(GetParam().program));
    std::string command = GetParam().command;
    command.replace(command.find("$A"), 2, Quote(dir_ / "peer.zip"));
    std::string output;
    ASSERT_EQ(Shell("cd " + Quote(root_->path() / "tree") + " && " + command, &output), 0) << command << "\n" << output;
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Archive() const { return dir_ / "peer.zip"; }
  Tree ExtractWithReference() const {
    const fs::path out = dir_ / "reference";
    fs::create_directories(out);
    std::string output;
    if (GetParam().reference == "unzip") {
      EXPECT_EQ(Shell("unzip -q " + Quote(Archive()) + " -d " + Quote(out), &output), 0) << output;
    } else {
      EXPECT_EQ(Shell("bsdtar -xf " + Quote(Archive()) + " -C " + Quote(out), &output), 0) << output;
    }
    return Snapshot(out);
  }

  static TempFolder* root_;
  static Tree* source_;
  fs::path dir_;
};

TempFolder* PeersReadByOurs::root_ = nullptr;
Tree* PeersReadByOurs::source_ = nullptr;

TEST_P(PeersReadByOurs, ExtractsWhatAPeerExtracts) {
  const auto failures = ExtractAll(Archive(), dir_ / "ours");
  for (const auto& failure : failures) ADD_FAILURE() << failure.message;
  const Tree reference = ExtractWithReference();
  if (GetParam().holds_source) {
    ASSERT_EQ(DiffTrees(*source_, reference, kNamesAndContent), "") << "the peer disagrees with the source";
  }
  EXPECT_EQ(DiffTrees(reference, Snapshot(dir_ / "ours"), kExecutableBit | kFileTimes), "");
}

INSTANTIATE_TEST_SUITE_P(
    Writers, PeersReadByOurs,
    ::testing::Values(
        PeerWriter{"infozip", "zip", "zip -q -r $A ."},
        PeerWriter{"infozip_stored", "zip", "zip -q -0 -r $A ."},
        PeerWriter{"infozip_level9", "zip", "zip -q -9 -r $A ."},
        // Written to a pipe zip cannot seek back, so every entry carries a data descriptor.
        PeerWriter{"infozip_to_pipe", "zip", "zip -q -r - . | cat > $A"},
        PeerWriter{"sevenzip_deflate", "7z", "7z a -tzip -bd $A . >/dev/null"},
        PeerWriter{"sevenzip_copy", "7z", "7z a -tzip -mm=Copy -bd $A . >/dev/null"},
        PeerWriter{"bsdtar", "bsdtar", "bsdtar -a -cf $A ."},
        PeerWriter{"python_deflated", "python3", "python3 ../writer.py $A ZIP_DEFLATED plain"},
        PeerWriter{"python_stored", "python3", "python3 ../writer.py $A ZIP_STORED plain"},
        PeerWriter{"python_zip64", "python3", "python3 ../writer.py $A ZIP_DEFLATED zip64"},
        // jar marks its names as UTF-8 but no host system; this unzip ignores the mark
        // and reads them in a DOS code page, so libarchive is the reference here.
        PeerWriter{"jar", "jar", "jar cf $A .", false, "bsdtar"}),
    [](const auto& info) { return info.param.name; });

// Deflate64 is the one method peers write that we do not read: each such entry must
// fail on its own, with its own code, and leave nothing behind.
class Deflate64Test : public ZipTest {};

TEST_F(Deflate64Test, EachEntryFailsWithCode55AndTheRestExtracts) {
  ASSERT_TRUE(HavePeer("7z"));
  Make("tree/one.txt", CompressibleText(20000));
  Make("tree/sub/two.txt", CompressibleText(30000));
  Make("tree/empty", "");
  fs::create_directories(Path("tree/folder"));
  std::string output;
  ASSERT_EQ(Shell("cd " + Quote(Path("tree")) + " && 7z a -tzip -mm=Deflate64 -bd ../d64.zip . ", &output), 0)
      << output;

  ZipArchiver archiver;
  RecordFailures(archiver);
  archiver.FileName = U(Path("d64.zip"));
  archiver.BaseDir = U(Path("out"));
  archiver.FileMasks = {u"*.*"};
  archiver.Open(fmOpenReadDenyNone);
  std::set<std::u16string> deflate64;
  for (const auto& item : archiver.Items()) {
    if (item.header.method == 9) deflate64.insert(item.name);
  }
  ASSERT_EQ(deflate64, (std::set<std::u16string>{u"one.txt", u"sub/two.txt"})) << "7z wrote other methods";
  archiver.ExtractMatching();

  std::set<std::u16string> failed;
  for (const auto& failure : failures) {
    failed.insert(failure.file_name);
    EXPECT_EQ(failure.native_error, kErrDeflate64) << failure.message;
    EXPECT_NE(failure.message.find("Deflate64 compression method is not supported"), std::string::npos)
        << failure.message;
  }
  EXPECT_EQ(failed, deflate64);
  EXPECT_EQ(DiffTrees(Tree{{"empty", File("")}, {"folder", Folder()}, {"sub", Folder()}}, Snapshot(Path("out")),
                      kNamesAndContent),
            "")
      << "only the folders and the empty file are extracted, and no partial file is left";
}

}  // namespace
}  // namespace kestrova::testing
