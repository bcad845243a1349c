// Staged extraction: several archives go in together or not at all, and the whole
// archive check that comes before it.
#include "zip/archive_check.h"
#include "zip_test_support.h"

namespace kestrova::testing {
namespace {

class StagedExtractionTest : public ZipTest {
 protected:
  // Archives "one.zip" (app.bin, lib/new.so) and "two.zip" (data.txt) over "app",
  // which holds a read-only app.bin and data.txt from before.
  void SetUp() override {
    ZipTest::SetUp();
    Make("rel1/app.bin", "new program");
    Make("rel1/lib/new.so", "new library");
    Make("rel2/data.txt", "new data");
    ZipArchiver one, two;
    two.SetCompressionLevel(clNone);  // its data stays readable, to damage it
    CreateArchive(one, Path("one.zip"), Path("rel1"), {u"*.*"});
    CreateArchive(two, Path("two.zip"), Path("rel2"), {u"*.*"});
    Make("app/app.bin", "old program");
    fs::permissions(Path("app/app.bin"), fs::perms::owner_read);
    Make("app/data.txt", "old data");
  }
  void Stage(ZipArchiver& archiver) {
    archiver.BaseDir = U(Path("app"));
    archiver.FileMasks = {u"*.*"};
    archiver.StageExtraction = true;
    RecordFailures(archiver, fxaAbort);
    for (const char* name : {"one.zip", "two.zip"}) {
      archiver.FileName = U(Path(name));
      archiver.Open(fmOpenReadDenyNone);
      archiver.ExtractMatching();
      archiver.Close();
    }
    ASSERT_TRUE(failures.empty());
  }
  std::vector<std::string> AppContent() {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(Path("app"))) {
      names.push_back(fs::relative(entry.path(), Path("app")).generic_string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  void ExpectOldInstallation() {
    EXPECT_EQ(AppContent(), (std::vector<std::string>{"app.bin", "data.txt"}));
    EXPECT_EQ(ReadFile(Path("app/app.bin")), "old program");
    EXPECT_EQ(ReadFile(Path("app/data.txt")), "old data");
  }
};

TEST_F(StagedExtractionTest, NothingChangesUntilTheCommitPutsEveryFileInPlace) {
  ZipArchiver archiver;
  Stage(archiver);
  EXPECT_EQ(archiver.StagedCount(), 3u);
  EXPECT_EQ(ReadFile(Path("app/app.bin")), "old program");
  EXPECT_EQ(ReadFile(Path("app/data.txt")), "old data");
  EXPECT_FALSE(fs::exists(Path("app/lib/new.so")));

  archiver.CommitStagedFiles();
  EXPECT_EQ(archiver.StagedCount(), 0u);
  EXPECT_EQ(AppContent(), (std::vector<std::string>{"app.bin", "data.txt", "lib", "lib/new.so"}));
  EXPECT_EQ(ReadFile(Path("app/app.bin")), "new program");
  EXPECT_EQ(ReadFile(Path("app/data.txt")), "new data");
  EXPECT_EQ(ReadFile(Path("app/lib/new.so")), "new library");
}

TEST_F(StagedExtractionTest, DiscardingOrFailingLeavesTheInstallationAsItWas) {
  struct Case {
    const char* name;
    std::function<void(ZipArchiver&)> end;
  };
  const std::vector<Case> cases = {
      {"discarded", [](ZipArchiver& a) { a.DiscardStagedFiles(); }},
      {"archiver gone", [](ZipArchiver&) {}},
      // The last target turns into a folder after staging: the targets already
      // replaced get their old files back.
      {"rename fails",
       [this](ZipArchiver& a) {
         fs::remove(Path("app/data.txt"));
         Make("app/data.txt/inside", "x");
         try {
           a.CommitStagedFiles();
           ADD_FAILURE() << "the commit succeeded";
         } catch (const EArchiverError& error) {
           EXPECT_EQ(error.Code(), kErrCannotCreateFile);
         }
         fs::remove_all(Path("app/data.txt"));
         Make("app/data.txt", "old data");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    {
      ZipArchiver archiver;
      Stage(archiver);
      c.end(archiver);
    }
    ExpectOldInstallation();
  }
}

TEST_F(StagedExtractionTest, CheckTellsWhetherAnArchiveIsWhole) {
  std::string bytes = ReadFile(Path("two.zip"));
  bytes[bytes.find("new data")] = 'N';
  WriteFile(Path("damaged.zip"), bytes);
  WriteFile(Path("cut.zip"), ReadFile(Path("one.zip")).substr(0, 60));
  struct Case {
    const char* name;
    std::string expected;  // empty: whole
  };
  for (const Case& c : std::vector<Case>{
           {"one.zip", ""},
           {"damaged.zip", "Invalid size or check sum of file or unsupported compression format - Native error: 00008"},
           {"cut.zip", "Archive is damaged. Open failed - Native error: 00048"},
           {"missing.zip", "File \"" + Path("missing.zip").string() + "\" not found - Native error: 00012"},
       }) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CheckArchiveWhole(Path(c.name).string()).value_or(""), c.expected);
  }
  EXPECT_EQ(fs::file_size(Path("one.zip")), ReadFile(Path("one.zip")).size());
  EXPECT_FALSE(fs::exists(Path("missing.zip")));
}

}  // namespace
}  // namespace kestrova::testing
