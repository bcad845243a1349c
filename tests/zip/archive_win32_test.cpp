// What an archive keeps of Windows files: attribute bits, last-write times at DOS
// precision, and names beyond the ANSI code page, restored over read-only targets.
#include <gtest/gtest.h>
#include <windows.h>

#include "base/files.h"
#include "base/native_file.h"
#include "zip/host_system.h"
#include "zip_test_support.h"

namespace kestrova::testing {
namespace {

class WindowsArchiveTest : public ZipTest {
 protected:
  void SetAttributes(const std::string& name, DWORD attributes) {
    ASSERT_TRUE(SetFileAttributesW(Path(name).wstring().c_str(), attributes)) << name;
  }
  static DWORD Attributes(const fs::path& path) {
    return GetFileAttributesW(path.wstring().c_str()) &
           (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  }
  static std::string Utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
  }
};

TEST_F(WindowsArchiveTest, AttributesTimesAndNamesComeBackOverReadOnlyTargets) {
  const struct {
    std::string name;
    DWORD attributes;
  } files[] = {
      {"plain.txt", 0},
      {"locked.txt", FILE_ATTRIBUTE_READONLY},
      {"sub\\hidden.txt", FILE_ATTRIBUTE_HIDDEN},
      {"system.txt", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY},
      {"\xE6\x97\xA5\xE6\x9C\xAC\\gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x98\x80.txt", 0},
  };
  // An even second in winter and one in summer: DOS times keep both exactly.
  const int64_t times[] = {1700000000, 1719000000};
  int n = 0;
  for (const auto& f : files) {
    Make("src\\" + f.name, "content of " + f.name);
    NativeFile file = NativeFile::OpenForUpdate(Utf8(Path("src\\" + f.name)));
    ASSERT_TRUE(file.IsOpen()) << f.name;
    ASSERT_TRUE(file.SetModificationTime(times[n++ % 2]));
    file.Close();
    if (f.attributes) SetAttributes("src\\" + f.name, f.attributes);
  }
  ZipArchiver writer;
  CreateArchive(writer, Path("t.zip"), Path("src"), {u"*.*"});
  // What the archive replaces is read-only, so the extraction must clear that first.
  Make("out\\locked.txt", "old");
  SetAttributes("out\\locked.txt", FILE_ATTRIBUTE_READONLY);

  EXPECT_TRUE(ExtractAll(Path("t.zip"), Path("out")).empty());
  n = 0;
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    const fs::path extracted = Path("out\\" + f.name);
    EXPECT_EQ(ReadFile(extracted), "content of " + f.name);
    EXPECT_EQ(Attributes(extracted), f.attributes);
    const auto status = QueryFile(Utf8(extracted));
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(status->mtime, times[n++ % 2]);
  }
}

TEST(WindowsHostTest, NamesCompareWithoutCaseAndDosTimesRoundTripInLocalTime) {
  EXPECT_EQ(FileNameKey(u"Readme.TXT"), FileNameKey(u"README.txt"));
  EXPECT_EQ(FileNameKey(u"\u00fcber"), FileNameKey(u"\u00dcBER"));
  EXPECT_NE(FileNameKey(u"a.txt"), FileNameKey(u"b.txt"));
  EXPECT_EQ(kHostSystem, 0);
  const struct {
    int64_t unix_time, expected;
  } cases[] = {
      {1700000001, 1700000000},  // DOS times count in steps of two seconds
      {1719000000, 1719000000},
      {0, FromDosDateTime((1u << 21) | (1u << 16))},  // before 1980: the earliest DOS time
  };
  for (const auto& c : cases) EXPECT_EQ(FromDosDateTime(ToDosDateTime(c.unix_time)), c.expected) << c.unix_time;
}

}  // namespace
}  // namespace kestrova::testing
