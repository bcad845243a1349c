// Extraction where Unix modes, links and peer-made archives (python's zipfile) decide.
#include <sys/stat.h>

#include <algorithm>
#include <functional>

#include "base/text.h"
#include "zip/host_system.h"
#include "zip_fixtures.h"

namespace kestrova::testing {
namespace {

class ExtractorPosixTest : public ExtractionFixture {};

TEST_F(ExtractorPosixTest, HostileNamesNeverLeaveTheTargetFolder) {
  const std::string script = R"(
import sys, zipfile
names = ['../x', '/abs', 'C:\\x', 'C:x', '\\\\server\\x', 'a/../../x', 'sub\\..\\..\\x', './', 'ok.txt']
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    for name in names:
        z.writestr(zipfile.ZipInfo(name), 'escaped')
)";
  ASSERT_EQ(RunPython(dir_, script, Quote(Path("evil.zip"))), 0);
  fs::create_directories(Path("deep/out"));
  ZipArchiver archiver;
  archiver.FileName = U(Path("evil.zip"));
  archiver.BaseDir = U(Path("deep/out"));
  archiver.FileMasks = {u"*.*"};
  RecordFailures(archiver);
  archiver.Open(fmOpenReadDenyNone);
  archiver.ExtractMatching();
  ASSERT_EQ(failures.size(), 7u);
  for (const auto& failure : failures) {
    EXPECT_EQ(failure.native_error, 100) << Utf16ToUtf8(failure.file_name);
    EXPECT_NE(failure.message.find("leads outside the target folder"), std::string::npos);
  }
  EXPECT_EQ(FolderContent(Path("deep/out")), std::vector<std::string>{"ok.txt"});
  EXPECT_EQ(FolderContent(Path("deep")), std::vector<std::string>{"out"});
  EXPECT_FALSE(fs::exists("/abs"));
}

TEST_F(ExtractorPosixTest, SymbolicLinksAreNotCreated) {
  const std::string script = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    link = zipfile.ZipInfo('link')
    link.create_system = 3
    link.external_attr = 0o120777 << 16
    z.writestr(link, '../../etc')
    z.writestr('link/passwd', 'through the link')
    z.writestr('plain.txt', 'plain')
)";
  ASSERT_EQ(RunPython(dir_, script, Quote(Path("links.zip"))), 0);
  Extract(Path("links.zip"));
  ASSERT_GE(failures.size(), 1u);
  EXPECT_EQ(failures[0].native_error, 101);
  EXPECT_FALSE(fs::is_symlink(Path("out/link")));
  EXPECT_EQ(ReadFile(Path("out/plain.txt")), "plain");
}

TEST_F(ExtractorPosixTest, ModesTimesAndSelectionAreRestored) {
  Make("src/tool", "#!/bin/sh\n");
  Make("src/docs/readme.txt", "read me");
  Make("src/docs/locked.txt", "locked");
  fs::permissions(Path("src/tool"), fs::perms(0750));
  fs::permissions(Path("src/docs/locked.txt"), fs::perms(0444));
  const int64_t old_time = FromDosDateTime((uint32_t(2001 - 1980) << 25) | (7u << 21) | (4u << 16) | (12u << 11));
  for (const char* name : {"src/tool", "src/docs/readme.txt"}) {
    const auto time = std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(old_time));
    fs::last_write_time(Path(name), time);
  }
  ZipArchiver archiver;
  CreateArchive(archiver, Path("t.zip"), Path("src"), {u"*.*"});

  Extract(Path("t.zip"));
  EXPECT_TRUE(failures.empty());
  struct stat st;
  ASSERT_EQ(stat(Path("out/tool").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0750u);
  EXPECT_EQ(st.st_mtime, old_time);
  ASSERT_EQ(stat(Path("out/docs/locked.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);
  ASSERT_EQ(stat(Path("out/docs/readme.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, old_time);

  // "*.*" also selects names without a dot; "*.txt" selects in every folder.
  fs::remove_all(Path("out"));
  Extract(Path("t.zip"), [](ZipArchiver& a) { a.FileMasks = {u"*.txt"}; });
  EXPECT_FALSE(fs::exists(Path("out/tool")));
  EXPECT_TRUE(fs::exists(Path("out/docs/readme.txt")));
}

TEST_F(ExtractorPosixTest, EntryWithoutUnixModeKeepsTheReplacedFilesPermissions) {
  // Archives made on Windows carry no mode; the installed program must stay executable.
  const std::string script = R"(
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    for name in ('program', 'fresh'):
        info = zipfile.ZipInfo(name)
        info.create_system = 0
        info.external_attr = 0x20
        z.writestr(info, '#!/bin/sh\necho new\n')
)";
  ASSERT_EQ(RunPython(dir_, script, Quote(Path("win.zip"))), 0);
  Make("out/program", "old");
  fs::permissions(Path("out/program"), fs::perms(0755));
  Extract(Path("win.zip"));
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(ReadFile(Path("out/program")), "#!/bin/sh\necho new\n");
  EXPECT_EQ(fs::status(Path("out/program")).permissions() & fs::perms::all, fs::perms(0755));
  EXPECT_EQ(fs::status(Path("out/fresh")).permissions() & fs::perms::owner_exec, fs::perms::none);
}

}  // namespace
}  // namespace kestrova::testing
