// What the Windows side of the file-system seam adds: drives and UNC paths, names
// beyond the ANSI code page, attributes and owner-only protection.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "base/files.h"
#include "base/native_file.h"
#include "base/paths.h"
#include "support/temp_folder.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;

TEST(WindowsPathsTest, DrivesUncAndBothSeparators) {
  const struct {
    const char* path;
    bool full;
    const char* folder;
  } cases[] = {
      {"C:\\a\\b.txt", true, "C:\\a\\"},   {"c:/a/b.txt", true, "c:/a/"},
      {"\\\\server\\share\\b", true, "\\\\server\\share\\"},
      {"C:b.txt", false, "C:"},            {"\\a\\b.txt", false, "\\a\\"},
      {"a/b\\c.txt", false, "a/b\\"},      {"b.txt", false, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsFullPath(c.path), c.full) << c.path;
    EXPECT_EQ(FolderOf(c.path), c.folder) << c.path;
    EXPECT_EQ(FolderOf(c.path) + FileNameOf(c.path), c.path);
  }
  EXPECT_EQ(JoinPath("C:/a/", "b"), "C:/a/b") << "a trailing '/' is a separator already";
}

class WindowsFilesTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return JoinPath(folder_.path().string(), name); }
  static uint32_t Attributes(const std::string& path) {
    const auto status = QueryFile(path);
    return status ? status->attributes : 0;
  }

  kestrova::testing::TempFolder folder_;
};

TEST_F(WindowsFilesTest, NamesOutsideTheAnsiCodePageAreReachable) {
  const std::string name = "Gr\xC3\xBC\xC3\x9F" "e_\xE6\x97\xA5\xE6\x9C\xAC_\xF0\x9F\x98\x80.txt";
  ASSERT_TRUE(ReplaceFileSafely(Path(name), "content"));
  EXPECT_TRUE(FileExists(Path(name)));
  EXPECT_EQ(ReadWholeFile(Path(name)), "content");
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(folder_.path().string(), entries));
  ASSERT_EQ(entries.size(), 1u) << "no temporary file left";
  EXPECT_EQ(entries[0].name, name);
  EXPECT_EQ(entries[0].status.size, 7u);
  EXPECT_EQ(entries[0].status.unix_mode, 0u);
}

TEST_F(WindowsFilesTest, ReadOnlyFilesAreRefusedForRewritingButReplacedAndRemovedOnRequest) {
  ASSERT_TRUE(ReplaceFileSafely(Path("target"), "old"));
  ASSERT_TRUE(ReplaceFileSafely(Path("source"), "new"));
  ASSERT_TRUE(SetFileAttributesW(folder_.path().wstring().append(L"\\target").c_str(),
                                 FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(IsReadOnlyFile(Path("target")));
  EXPECT_FALSE(IsReadOnlyFile(Path("source")));

  EXPECT_FALSE(ReplaceFileSafely(Path("target"), "rewritten"));
  EXPECT_EQ(ReadWholeFile(Path("target")), "old");

  ASSERT_TRUE(RenameReplacing(Path("source"), Path("target")));
  EXPECT_EQ(ReadWholeFile(Path("target")), "new");
  EXPECT_FALSE(FileExists(Path("source")));

  ASSERT_TRUE(ReplaceFileSafely(Path("locked"), "x"));
  ASSERT_TRUE(SetFileAttributesW(folder_.path().wstring().append(L"\\locked").c_str(),
                                 FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(RemoveFile(Path("locked")));
  EXPECT_FALSE(FileExists(Path("locked")));
}

TEST_F(WindowsFilesTest, StoredAttributesAndTimesReachTheFile) {
  // Wine shows every file with the archive bit, so that one is left out here.
  constexpr uint32_t kShown = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  const struct {
    uint32_t attributes, unix_mode, expected;
  } cases[] = {
      {0x21, 0, FILE_ATTRIBUTE_READONLY},
      {0x26, 0, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
      {0x20, 0100444, FILE_ATTRIBUTE_READONLY},
      {0x20, 0100644, 0},
      {0x10, 0, 0},  // a folder bit on a file is not taken over
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string path = Path("f" + std::to_string(n++));
    NativeFile file = NativeFile::CreateOrTruncate(path);
    ASSERT_TRUE(file.IsOpen()) << file.OpenError();
    ASSERT_EQ(file.WriteAt(0, "data", 4), 4u);
    EXPECT_TRUE(file.ApplyAttributes(c.attributes, c.unix_mode));
    EXPECT_TRUE(file.SetModificationTime(1700000000));
    file.Close();
    EXPECT_EQ(Attributes(path) & kShown, c.expected) << std::hex << c.attributes << " " << c.unix_mode;
    EXPECT_EQ(QueryFile(path)->mtime, 1700000000);
  }
}

// The identities the access control list of a file lets in.
std::vector<std::vector<char>> AllowedIdentities(const std::string& path) {
  const std::wstring wide = fs::u8path(path).wstring();
  DWORD size = 0;
  GetFileSecurityW(wide.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
  std::vector<char> descriptor(size);
  BOOL present = FALSE, defaulted = FALSE;
  PACL acl = nullptr;
  std::vector<std::vector<char>> identities;
  if (size == 0 ||
      !GetFileSecurityW(wide.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size, &size) ||
      !GetSecurityDescriptorDacl(descriptor.data(), &present, &acl, &defaulted) || !present || !acl) {
    return identities;
  }
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(acl, i, &ace) || static_cast<ACE_HEADER*>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
    const auto* bytes = static_cast<const char*>(sid);
    identities.emplace_back(bytes, bytes + GetLengthSid(sid));
  }
  return identities;
}

std::vector<char> CurrentUser() {
  HANDLE token = nullptr;
  char user[256];
  DWORD size = 0;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  const bool known = GetTokenInformation(token, TokenUser, user, sizeof user, &size);
  CloseHandle(token);
  if (!known) return {};
  PSID sid = reinterpret_cast<TOKEN_USER*>(user)->User.Sid;
  const auto* bytes = static_cast<const char*>(sid);
  return std::vector<char>(bytes, bytes + GetLengthSid(sid));
}

std::vector<char> LocalSystem() {
  std::vector<char> sid(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(sid.size());
  if (!CreateWellKnownSid(WinLocalSystemSid, nullptr, sid.data(), &size)) return {};
  sid.resize(size);
  return sid;
}

TEST_F(WindowsFilesTest, OwnerOnlyFileLetsInTheCurrentUserAloneAndNeverOverwrites) {
  ASSERT_TRUE(CreateOwnerOnlyFile(Path("key"), "secret"));
  EXPECT_FALSE(CreateOwnerOnlyFile(Path("key"), "other"));
  EXPECT_EQ(ReadWholeFile(Path("key")), "secret");

  const auto allowed = AllowedIdentities(Path("key"));
  const auto user = CurrentUser();
  ASSERT_FALSE(user.empty());
  EXPECT_NE(std::find(allowed.begin(), allowed.end(), user), allowed.end());
  // The system account reads every file anyway; Wine lists it where Windows does not.
  for (const auto& identity : allowed) EXPECT_TRUE(identity == user || identity == LocalSystem());
}

}  // namespace
}  // namespace kestrova
