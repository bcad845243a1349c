// Extraction: damaged entries, replaced files, hostile names and links, and what is
// restored besides the data.
#include "base/text.h"
#include "zip/host_system.h"
#include "zip_fixtures.h"

namespace kestrova::testing {
namespace {

class ExtractorTest : public ExtractionFixture {};

TEST_F(ExtractorTest, DamagedDataFailsWithCode8AndKeepsThePreviousFile) {
  const size_t data = MakeDeflatedArchive(CompressibleText(50000));
  std::string bytes = ReadFile(Path("t.zip"));
  bytes[data + 100] ^= 0x55;
  WriteFile(Path("bad.zip"), bytes);
  Make("out/data.txt", "previous version");
  Extract(Path("bad.zip"));
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].native_error, 8);
  EXPECT_EQ(failures[0].file_name, u"data.txt");
  EXPECT_EQ(failures[0].message,
            "Invalid size or check sum of file or unsupported compression format - Native error: 00008");
  EXPECT_EQ(ReadFile(Path("out/data.txt")), "previous version");
  EXPECT_EQ(FolderContent(Path("out")), std::vector<std::string>{"data.txt"});

  fs::remove(Path("out/data.txt"));
  failures.clear();
  Extract(Path("bad.zip"));
  EXPECT_EQ(failures.size(), 1u);
  EXPECT_TRUE(fs::is_empty(Path("out"))) << "a failed entry left a file";
}

TEST_F(ExtractorTest, InflatingStopsAtTheDeclaredSize) {
  MakeDeflatedArchive(CompressibleText(300000));
  std::string bytes = ReadFile(Path("t.zip"));
  // Declare 1000 bytes in both headers for data that inflates to 300000.
  const size_t central = bytes.find(std::string("PK\x01\x02", 4));
  for (const size_t field : {size_t{22}, central + 24}) {
    bytes[field] = char(0xE8);
    bytes[field + 1] = 0x03;
    bytes[field + 2] = 0;
    bytes[field + 3] = 0;
  }
  WriteFile(Path("long.zip"), bytes);
  Extract(Path("long.zip"));
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].native_error, 8);
  EXPECT_FALSE(fs::exists(Path("out/data.txt")));

  failures.clear();
  Extract(Path("long.zip"), [](ZipArchiver& a) { a.ExtractCorruptedFiles = true; });
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(fs::file_size(Path("out/data.txt")), 1000u);
}

// One walk reuses its inflate state and buffers: an entry that breaks off inside its
// deflate data, and entries smaller, stored or larger than the one before, must not
// disturb the entries that follow.
TEST_F(ExtractorTest, EntriesAfterADamagedOneInTheSameWalkExtract) {
  Make("src/1-large.txt", CompressibleText(300000));
  Make("src/2-broken.txt", CompressibleText(200000));
  Make("src/3-small.txt", "small");
  Make("src/4-stored.bin", RandomBytes(70000));
  Make("src/5-larger.txt", CompressibleText(3 << 20));
  ZipArchiver archiver;
  archiver.SetCompressionLevel(clMax);
  CreateArchive(archiver, Path("t.zip"), Path("src"), {u"*.*"});
  std::string bytes = ReadFile(Path("t.zip"));
  const size_t broken = bytes.find("2-broken.txt");
  ASSERT_NE(broken, std::string::npos);
  const size_t data = broken + 12 + Read16(bytes, broken - 2);
  bytes[data + 200] ^= 0x55;
  WriteFile(Path("bad.zip"), bytes);

  Extract(Path("bad.zip"));
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].file_name, u"2-broken.txt");
  EXPECT_EQ(FolderContent(Path("out")),
            (std::vector<std::string>{"1-large.txt", "3-small.txt", "4-stored.bin", "5-larger.txt"}));
  for (const std::string name : {"1-large.txt", "3-small.txt", "4-stored.bin", "5-larger.txt"}) {
    EXPECT_EQ(ReadFile(Path("out/" + name)), ReadFile(Path("src/" + name))) << name;
  }
}

// Folders made earlier in a walk are remembered; one that vanishes meanwhile fails its
// entry, and a retry makes it again.
TEST_F(ExtractorTest, RetryRemakesAFolderRemovedDuringTheWalk) {
  Make("src/sub/a.txt", "a");
  Make("src/sub/b.txt", "b");
  ZipArchiver archiver;
  CreateArchive(archiver, Path("t.zip"), Path("src"), {u"*.*"});
  int retries = 0;
  std::vector<std::u16string> files;
  Extract(Path("t.zip"), [&](ZipArchiver& a) {
    a.OnExtractFile = [&](ZipArchiver&, std::u16string& name, uint32_t&, std::string&) {
      if (name.back() == u'/') return;
      files.push_back(name);
      // The first file made the folder known; the second finds it gone.
      if (files.size() == 2) fs::remove_all(Path("out/sub"));
    };
    a.OnProcessFileFailure = [&](ZipArchiver&, const std::u16string&, TProcessOperation, int native,
                                 int, const std::string&, TFileFailureAction& action) {
      failures.push_back({u"", native, ""});
      action = ++retries == 1 ? fxaRetry : fxaIgnore;
    };
  });
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].native_error, 19);
  ASSERT_EQ(files.size(), 3u);  // the second one twice
  EXPECT_EQ(files[1], files[2]);
  EXPECT_EQ(ReadFile(Path("out/" + Utf16ToUtf8(files[1]))), Utf16ToUtf8(files[1]).substr(4, 1));
}

TEST_F(ExtractorTest, WalkStartedFromAHandlerLeavesTheOuterWalkWorking) {
  Make("src/a.txt", CompressibleText(10000));
  Make("src/b.txt", CompressibleText(20000));
  ZipArchiver archiver;
  CreateArchive(archiver, Path("t.zip"), Path("src"), {u"*.*"});
  int nested = 0;
  Extract(Path("t.zip"), [&](ZipArchiver& a) {
    a.OnExtractFile = [&](ZipArchiver& self, std::u16string&, uint32_t&, std::string&) {
      if (nested++ == 0) self.TestMatching();
    };
  });
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(ReadFile(Path("out/a.txt")), ReadFile(Path("src/a.txt")));
  EXPECT_EQ(ReadFile(Path("out/b.txt")), ReadFile(Path("src/b.txt")));
}

TEST_F(ExtractorTest, LongestNamesExtract) {
  // The file beside the target must fit the file system's name limit as well.
  const std::string name(250, 'n');
  Make("src/" + name, "long");
  ZipArchiver archiver;
  CreateArchive(archiver, Path("t.zip"), Path("src"), {u"*.*"});
  Extract(Path("t.zip"));
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(ReadFile(Path("out/" + name)), "long");
}

TEST_F(ExtractorTest, ReadOnlyTargetIsReplacedOnlyWhenAllowed) {
  MakeDeflatedArchive("new content");
  Make("out/data.txt", "old read-only content");
  fs::permissions(Path("out/data.txt"), fs::perms::owner_read | fs::perms::group_read);
  Extract(Path("t.zip"), [](ZipArchiver& a) { a.Options.ReplaceReadOnly = false; });
  EXPECT_EQ(ReadFile(Path("out/data.txt")), "old read-only content");
  Extract(Path("t.zip"));
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(ReadFile(Path("out/data.txt")), "new content");
}

TEST_F(ExtractorTest, OverwriteModesDecideAboutExistingFiles) {
  MakeDeflatedArchive("from the archive");
  Make("out/data.txt", "existing");
  Extract(Path("t.zip"), [](ZipArchiver& a) { a.Options.OverwriteMode = omNever; });
  EXPECT_EQ(ReadFile(Path("out/data.txt")), "existing");
  Extract(Path("t.zip"), [](ZipArchiver& a) { a.Options.OverwriteMode = omPrompt; });
  EXPECT_EQ(ReadFile(Path("out/data.txt")), "existing") << "no handler, no one agreed";
  Extract(Path("t.zip"), [](ZipArchiver& a) {
    a.Options.OverwriteMode = omPrompt;
    a.OnConfirmOverwrite = [](ZipArchiver&, const std::u16string&, const std::u16string&,
                              TOverwriteAnswer& answer) { answer = oaYes; };
  });
  EXPECT_EQ(ReadFile(Path("out/data.txt")), "from the archive");
}

TEST_F(ExtractorTest, CancelledEntryLeavesThePreviousFile) {
  MakeDeflatedArchive(RandomBytes(3 << 20));
  Make("out/data.txt", "previous");
  int reports = 0;
  Extract(Path("t.zip"), [&](ZipArchiver& a) {
    a.OnFileProgress = [&](ZipArchiver&, const std::u16string&, double, TProcessOperation,
                           TProgressPhase phase, bool& cancel) {
      if (phase == ppProcess && ++reports == 2) cancel = true;
    };
  });
  EXPECT_EQ(reports, 2);
  EXPECT_TRUE(failures.empty());
  EXPECT_TRUE(ReadFile(Path("out/data.txt")) == "previous");
  EXPECT_EQ(FolderContent(Path("out")), std::vector<std::string>{"data.txt"});
}

}  // namespace
}  // namespace kestrova::testing
