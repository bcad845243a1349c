#include "base/files.h"

#include <windows.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "base/native_file.h"
#include "base/paths.h"
#include "base/wide_text_win32.h"

namespace kestrova {
namespace {

// Seconds between 1601-01-01 (FILETIME) and 1970-01-01.
constexpr int64_t kEpochDifference = 11644473600;
constexpr DWORD kNoAttributes = INVALID_FILE_ATTRIBUTES;

// Closes a Windows handle when it goes out of scope.
struct HandleCloser {
  void operator()(HANDLE handle) const {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// Ends a FindFirstFileW search when it goes out of scope.
struct SearchCloser {
  void operator()(HANDLE search) const {
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
  }
};
using UniqueSearch = std::unique_ptr<void, SearchCloser>;

DWORD AttributesOf(const std::string& path) { return GetFileAttributesW(WideText(path).c_str()); }

bool SetAttributes(const std::string& path, DWORD attributes) {
  return SetFileAttributesW(WideText(path).c_str(), attributes) != 0;
}

bool IsFolderAttribute(DWORD attributes) {
  return attributes != kNoAttributes && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int64_t UnixTimeOf(const FILETIME& time) {
  const int64_t ticks = int64_t((uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime);
  // Floor division, so that moments before 1970 do not round towards it.
  const int64_t seconds = ticks / 10000000 - (ticks % 10000000 < 0 ? 1 : 0);
  return seconds - kEpochDifference;
}

FileStatus StatusOf(DWORD attributes, DWORD size_high, DWORD size_low, const FILETIME& written,
                    bool is_link) {
  FileStatus status;
  status.is_dir = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  status.is_link = is_link;
  status.size = status.is_dir ? 0 : (uint64_t(size_high) << 32) | size_low;
  status.mtime = UnixTimeOf(written);
  status.attributes = attributes;
  return status;
}

// What a link points to: the handle opened through it describes the target.
std::optional<FileStatus> QueryLinkTarget(const std::string& path) {
  UniqueHandle target(CreateFileW(WideText(path).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (target.get() == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(target.get(), &info)) {
    return std::nullopt;  // dangling
  }
  return StatusOf(info.dwFileAttributes, info.nFileSizeHigh, info.nFileSizeLow,
                  info.ftLastWriteTime, true);
}

bool IsDotName(const wchar_t* name) {
  return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// Names in a folder as the system lists them, with what the listing tells of each.
bool SearchFolder(const std::string& folder, std::vector<WIN32_FIND_DATAW>& found) {
  WIN32_FIND_DATAW data;
  UniqueSearch search(FindFirstFileExW(WideText(JoinPath(folder, "*")).c_str(), FindExInfoBasic,
                                       &data, FindExSearchNameMatch, nullptr, 0));
  if (search.get() == INVALID_HANDLE_VALUE) {
    // The root of an empty drive lists nothing, not even "." and "..".
    return GetLastError() == ERROR_FILE_NOT_FOUND && IsFolderAttribute(AttributesOf(folder));
  }
  do {
    if (!IsDotName(data.cFileName)) found.push_back(data);
  } while (FindNextFileW(search.get(), &data));
  return true;
}

bool WriteAll(HANDLE file, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    const DWORD wanted = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1u << 30));
    DWORD n = 0;
    if (!WriteFile(file, content.data() + done, wanted, &n, nullptr) || n == 0) return false;
    done += n;
  }
  return true;
}

// The current user's identity, from the process token.
std::unique_ptr<char[]> CurrentUserToken() {
  HANDLE raw_token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw_token)) return nullptr;
  const UniqueHandle token(raw_token);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return nullptr;
  auto user = std::make_unique<char[]>(size);
  if (!GetTokenInformation(token.get(), TokenUser, user.get(), size, &size)) return nullptr;
  return user;
}

// A security descriptor whose only entry gives the current user full access; it does
// not inherit from the folder, so no one else ever gets in.
class OwnerOnlySecurity {
 public:
  bool Build() {
    user_ = CurrentUserToken();
    if (!user_) return false;
    PSID sid = reinterpret_cast<TOKEN_USER*>(user_.get())->User.Sid;
    const DWORD acl_size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid);
    acl_ = std::make_unique<char[]>(acl_size);
    PACL acl = reinterpret_cast<PACL>(acl_.get());
    return InitializeAcl(acl, acl_size, ACL_REVISION) &&
           AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, sid) &&
           InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
           SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  }
  SECURITY_ATTRIBUTES* Attributes() {
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
    return &attributes_;
  }

 private:
  std::unique_ptr<char[]> user_;
  std::unique_ptr<char[]> acl_;
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
};

// Deletes a file, clearing its read-only attribute first where that is what stops it,
// as unlinking does on other systems.
bool DeleteEvenReadOnly(const std::string& path) {
  const std::wstring wide = WideText(path);
  if (DeleteFileW(wide.c_str())) return true;
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == kNoAttributes || (attributes & FILE_ATTRIBUTE_READONLY) == 0) return false;
  SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (DeleteFileW(wide.c_str())) return true;
  SetFileAttributesW(wide.c_str(), attributes);
  return false;
}

bool IsRootOrEmpty(const std::string& probe) {
  return probe.empty() || (probe.size() <= 3 && probe.size() >= 2 && probe[1] == ':');
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
  FileRefusal refusal = FileRefusal::kNone;
  return ReadRegularFile(path, std::numeric_limits<uint64_t>::max(), refusal);
}

std::optional<std::string> ReadRegularFile(const std::string& path, uint64_t max_size,
                                           FileRefusal& refusal) {
  refusal = FileRefusal::kNone;
  const DWORD attributes = AttributesOf(path);
  if (attributes == kNoAttributes) {
    const DWORD error = GetLastError();
    refusal = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileRefusal::kMissing
                                                                             : FileRefusal::kUnreadable;
    return std::nullopt;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    refusal = FileRefusal::kNotRegular;
    return std::nullopt;
  }
  UniqueHandle file(CreateFileW(WideText(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    refusal = FileRefusal::kUnreadable;
    return std::nullopt;
  }
  // NUL, CON, COM1 and pipes open like files; only a disk file holds content.
  LARGE_INTEGER size{};
  if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size)) {
    refusal = FileRefusal::kNotRegular;
    return std::nullopt;
  }
  if (static_cast<uint64_t>(size.QuadPart) > max_size) {
    refusal = FileRefusal::kTooLarge;
    return std::nullopt;
  }
  std::string content;
  std::vector<char> block(64 * 1024);
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file.get(), block.data(), static_cast<DWORD>(block.size()), &n, nullptr)) {
      refusal = FileRefusal::kUnreadable;
      return std::nullopt;
    }
    if (n == 0) break;
    if (n > max_size - content.size()) {
      refusal = FileRefusal::kTooLarge;
      return std::nullopt;
    }
    content.append(block.data(), n);
  }
  return content;
}

namespace {

// The file a write of `path` replaces: where a symbolic link leads, so that the link
// stays and leads to the new content. Nothing for a dangling link.
std::optional<std::string> WrittenPath(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  if (attributes == kNoAttributes || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return path;
  UniqueHandle file(CreateFileW(WideText(path).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return std::nullopt;
  std::wstring target(32768, L'\0');
  const DWORD n = GetFinalPathNameByHandleW(file.get(), target.data(), static_cast<DWORD>(target.size()),
                                            FILE_NAME_NORMALIZED);
  if (n == 0 || n >= target.size()) return std::nullopt;
  target.resize(n);
  return Utf8Text(target);
}

}  // namespace

bool ReplaceFileSafely(const std::string& link_or_path, const std::string& content) {
  const std::optional<std::string> written_path = WrittenPath(link_or_path);
  if (!written_path) return false;
  const std::string& path = *written_path;
  const DWORD old_attributes = AttributesOf(path);
  if (old_attributes != kNoAttributes &&
      (old_attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
    return false;
  }
  std::string temporary;
  NativeFile file = NativeFile::CreateUnique(FolderOf(path), ReplaceTemporaryPrefix(path), temporary);
  if (!file.IsOpen()) return false;
  bool written = false;
  try {
    written = file.WriteAt(0, content.data(), content.size()) == content.size();
    if (written) file.Sync();
  } catch (const NativeFileError&) {
    written = false;
  }
  file.Close();
  // Hidden and system stay with the name, as they would with a rewrite in place.
  if (written && old_attributes != kNoAttributes) SetAttributes(temporary, old_attributes);
  if (!written || !MoveFileExW(WideText(temporary).c_str(), WideText(path).c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteEvenReadOnly(temporary);
    return false;
  }
  return true;
}

bool CreateOwnerOnlyFile(const std::string& path, const std::string& content) {
  // The protection is given at creation, so the content is never readable by others,
  // not even for a moment.
  OwnerOnlySecurity security;
  if (!security.Build()) return false;
  const std::wstring wide = WideText(path);
  UniqueHandle file(CreateFileW(wide.c_str(), GENERIC_WRITE, 0, security.Attributes(), CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return false;
  const bool written = WriteAll(file.get(), content) && FlushFileBuffers(file.get());
  const bool closed = CloseHandle(file.release()) != 0;
  if (!written || !closed) {
    DeleteFileW(wide.c_str());
    return false;
  }
  return true;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != kNoAttributes && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool IsReadOnlyFile(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != kNoAttributes && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

std::string JoinToFolder(const std::string& folder, const std::string& relative) {
  return folder + relative;  // "\\" is the native separator already
}

std::string ExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return Utf8Text(std::wstring_view(buffer.data(), n));
    buffer.resize(buffer.size() * 2);
  }
}

std::string TemporaryDirectory() {
  wchar_t buffer[MAX_PATH + 2];
  const DWORD n = GetTempPathW(MAX_PATH + 2, buffer);
  if (n == 0 || n > MAX_PATH + 1) return WithTrailingSeparator(CurrentFolder());
  return WithTrailingSeparator(Utf8Text(std::wstring_view(buffer, n)));
}

std::string CurrentFolder() {
  const DWORD needed = GetCurrentDirectoryW(0, nullptr);
  std::wstring buffer(needed, L'\0');
  const DWORD n = GetCurrentDirectoryW(needed, buffer.data());
  if (n == 0 || n >= needed) return {};
  return WithTrailingSeparator(Utf8Text(std::wstring_view(buffer.data(), n)));
}

std::optional<FileStatus> QueryFile(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(WideText(path).c_str(), GetFileExInfoStandard, &data)) {
    return std::nullopt;
  }
  if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return QueryLinkTarget(path);
  return StatusOf(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow,
                  data.ftLastWriteTime, false);
}

bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries) {
  std::vector<WIN32_FIND_DATAW> found;
  if (!SearchFolder(folder, found)) return false;
  for (const WIN32_FIND_DATAW& data : found) {
    std::string name = Utf8Text(data.cFileName);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      if (auto target = QueryLinkTarget(JoinPath(folder, name))) {
        entries.push_back({std::move(name), *target});
      }
      continue;
    }
    entries.push_back({std::move(name), StatusOf(data.dwFileAttributes, data.nFileSizeHigh,
                                                  data.nFileSizeLow, data.ftLastWriteTime, false)});
  }
  return true;
}

bool CreateFolder(const std::string& path) {
  if (CreateDirectoryW(WideText(path).c_str(), nullptr)) return true;
  return GetLastError() == ERROR_ALREADY_EXISTS && IsFolderAttribute(AttributesOf(path));
}

bool RemoveFile(const std::string& path) { return DeleteEvenReadOnly(path); }

bool RemoveEmptyFolder(const std::string& path) {
  return RemoveDirectoryW(WideText(path).c_str()) != 0;
}

bool RemoveFolderTree(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  if (attributes == kNoAttributes) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  if (attributes & FILE_ATTRIBUTE_READONLY) SetAttributes(path, attributes & ~FILE_ATTRIBUTE_READONLY);
  const bool is_folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  // A link to a folder (symbolic link or junction) goes as a name; what it points to stays.
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    return is_folder ? RemoveEmptyFolder(path) : DeleteEvenReadOnly(path);
  }
  if (!is_folder) return DeleteEvenReadOnly(path);
  std::vector<WIN32_FIND_DATAW> found;
  SearchFolder(path, found);
  for (const WIN32_FIND_DATAW& data : found) RemoveFolderTree(JoinPath(path, Utf8Text(data.cFileName)));
  return RemoveEmptyFolder(path);
}

bool RenameReplacing(const std::string& from, const std::string& to) {
  const std::wstring wide_from = WideText(from);
  const std::wstring wide_to = WideText(to);
  // Write-through: the move is on disk when the call returns, as a journal needs.
  constexpr DWORD kFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  // Windows replaces nothing with a folder; Wine would, so the rule is kept here.
  if (IsFolderAttribute(GetFileAttributesW(wide_from.c_str())) &&
      GetFileAttributesW(wide_to.c_str()) != kNoAttributes) {
    return false;
  }
  if (MoveFileExW(wide_from.c_str(), wide_to.c_str(), kFlags)) return true;
  const DWORD target = GetFileAttributesW(wide_to.c_str());
  if (target == kNoAttributes || (target & FILE_ATTRIBUTE_READONLY) == 0 ||
      (target & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  // The system refuses to replace a read-only file; the caller asked for it anyway.
  SetFileAttributesW(wide_to.c_str(), target & ~FILE_ATTRIBUTE_READONLY);
  if (MoveFileExW(wide_from.c_str(), wide_to.c_str(), kFlags)) return true;
  SetFileAttributesW(wide_to.c_str(), target);
  return false;
}

std::optional<std::string> FolderWriteFault(const std::string& folder) {
  // The system removes the file when its handle closes, also when the process dies.
  const std::string probe = JoinPath(folder, ".kestrova-write-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                                                 std::to_string(GetTickCount64()) + ".tmp");
  const HANDLE file = CreateFileW(WideText(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return SystemErrorText(GetLastError());
  CloseHandle(file);
  return std::nullopt;
}

// NTFS journals its own names, and every move here is written through.
bool SyncFolder(const std::string&) { return true; }

std::optional<uint64_t> FreeDiskSpace(const std::string& path) {
  // A target that does not exist yet will land on the volume of the nearest folder
  // above it that does.
  std::string probe = path;
  for (;;) {
    if (probe.empty() || IsFolderAttribute(AttributesOf(probe))) {
      ULARGE_INTEGER available;
      const std::wstring wide = WideText(WithTrailingSeparator(probe));
      if (!GetDiskFreeSpaceExW(probe.empty() ? nullptr : wide.c_str(), &available, nullptr, nullptr)) {
        return std::nullopt;
      }
      return available.QuadPart;
    }
    if (IsRootOrEmpty(probe)) return std::nullopt;  // a drive that is not there
    while (probe.size() > 1 && IsNativeSeparator(probe.back())) probe.pop_back();
    const std::string parent = FolderOf(probe);
    if (parent == probe) return std::nullopt;
    probe = parent;
  }
}

uint64_t AvailablePhysicalMemory() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return uint64_t{256} << 20;
  // A 32-bit process can use no more than its own address space, however much memory
  // the machine has free.
  return std::min<uint64_t>(status.ullAvailPhys, status.ullAvailVirtual);
}

}  // namespace kestrova
