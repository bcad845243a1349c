#include "base/native_file.h"

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <limits>

#include "base/wide_text_win32.h"

namespace kestrova {
namespace {

// Others may read, write, rename and delete a file we hold open: a reader must not
// keep an archive from being replaced, nor a temporary file from being cleaned up.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Offsets past this cannot be named to the system; no file reaches them.
// One ReadFile or WriteFile moves at most this much.
constexpr size_t kLargestTransfer = size_t(1) << 30;

// Seconds between 1601-01-01 (FILETIME) and 1970-01-01.
constexpr int64_t kEpochDifference = 11644473600;

HANDLE Handle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
intptr_t Stored(HANDLE handle) { return reinterpret_cast<intptr_t>(handle); }

[[noreturn]] void ThrowFileError(const char* what) {
  throw NativeFileError(std::string(what) + ": " + LastErrorText());
}

bool IsDiskFullError(DWORD error) {
  return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED position{};
  position.Offset = static_cast<DWORD>(offset);
  position.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return position;
}

HANDLE OpenHandle(const std::string& path, DWORD access, DWORD disposition, DWORD flags = 0) {
  return CreateFileW(WideText(path).c_str(), access, kShareAll, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL | flags, nullptr);
}

bool IsRegularFile(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Eight letters or digits from the system's random source, new for every call.
std::string RandomLetters() {
  static constexpr char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char bytes[8];
  BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  std::string letters(8, 'x');
  for (size_t i = 0; i < letters.size(); ++i) letters[i] = kDigits[bytes[i] % (sizeof kDigits - 1)];
  return letters;
}

DWORD AttributesToStore(uint32_t attributes, uint32_t unix_mode) {
  DWORD stored = attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                               FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
  if (unix_mode != 0 && (unix_mode & 0222) == 0) stored |= FILE_ATTRIBUTE_READONLY;
  return stored != 0 ? stored : FILE_ATTRIBUTE_NORMAL;
}

}  // namespace

NativeFile NativeFile::OpenForReading(const std::string& path) {
  HANDLE handle = OpenHandle(path, GENERIC_READ, OPEN_EXISTING);
  if (handle == INVALID_HANDLE_VALUE) return NativeFile(kNoHandle, LastErrorText());
  // Devices (CON, COM1, pipes) open like files but hold no content to read to an end.
  if (!IsRegularFile(handle)) {
    CloseHandle(handle);
    return NativeFile(kNoHandle, "Not a regular file");
  }
  return NativeFile(Stored(handle), {});
}

NativeFile NativeFile::OpenForUpdate(const std::string& path) {
  HANDLE handle = OpenHandle(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
  if (handle == INVALID_HANDLE_VALUE) return NativeFile(kNoHandle, LastErrorText());
  return NativeFile(Stored(handle), {});
}

NativeFile NativeFile::CreateOrTruncate(const std::string& path) {
  HANDLE handle = OpenHandle(path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS);
  if (handle == INVALID_HANDLE_VALUE) return NativeFile(kNoHandle, LastErrorText());
  return NativeFile(Stored(handle), {});
}

NativeFile NativeFile::CreateUnique(const std::string& folder, const std::string& stem,
                                    std::string& path) {
  DWORD error = ERROR_FILE_EXISTS;
  for (int attempt = 0; attempt < 100 && (error == ERROR_FILE_EXISTS ||
                                          error == ERROR_ALREADY_EXISTS); ++attempt) {
    path = folder + stem + RandomLetters() + ".tmp";
    HANDLE handle = OpenHandle(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    if (handle != INVALID_HANDLE_VALUE) return NativeFile(Stored(handle), {});
    error = GetLastError();
  }
  return NativeFile(kNoHandle, SystemErrorText(error));
}

// Windows has no files without a name: callers fall back to named temporary files.
NativeFile NativeFile::CreateUnnamed(const std::string&) {
  return NativeFile(kNoHandle, SystemErrorText(ERROR_NOT_SUPPORTED));
}

bool NativeFile::LinkAs(const std::string&) { return false; }

bool NativeFile::LinkUnique(const std::string&, const std::string&, std::string& path) {
  path.clear();
  return false;
}

NativeFile NativeFile::Duplicate() const {
  HANDLE copy = INVALID_HANDLE_VALUE;
  const HANDLE process = GetCurrentProcess();
  if (!DuplicateHandle(process, Handle(handle_), process, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return NativeFile(kNoHandle, LastErrorText());
  }
  return NativeFile(Stored(copy), {});
}

size_t NativeFile::ReadOnce(uint64_t offset, void* buffer, size_t size) const {
  OVERLAPPED position = At(offset);
  DWORD n = 0;
  if (!ReadFile(Handle(handle_), buffer, static_cast<DWORD>(std::min(size, kLargestTransfer)), &n, &position)) {
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    ThrowFileError("read");
  }
  return n;
}

size_t NativeFile::WriteOnce(uint64_t offset, const void* buffer, size_t size) {
  OVERLAPPED position = At(offset);
  DWORD n = 0;
  if (!WriteFile(Handle(handle_), buffer, static_cast<DWORD>(std::min(size, kLargestTransfer)), &n, &position)) {
    if (IsDiskFullError(GetLastError())) return 0;
    ThrowFileError("write");
  }
  return n;
}

uint64_t NativeFile::Size() const {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(Handle(handle_), &size)) ThrowFileError("size");
  return static_cast<uint64_t>(size.QuadPart);
}

void NativeFile::Truncate(uint64_t size) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  if (size > kLastOffset ||
      !SetFileInformationByHandle(Handle(handle_), FileEndOfFileInfo, &end, sizeof end)) {
    ThrowFileError("truncate");
  }
}

void NativeFile::Sync() {
  if (!FlushFileBuffers(Handle(handle_))) ThrowFileError("sync");
}

bool NativeFile::ApplyAttributes(uint32_t attributes, uint32_t unix_mode) {
  // Nothing stored: the file keeps what the system gave it.
  if (attributes == 0 && unix_mode == 0) return true;
  FILE_BASIC_INFO info{};  // zero times leave the times as they are
  info.FileAttributes = AttributesToStore(attributes, unix_mode);
  return SetFileInformationByHandle(Handle(handle_), FileBasicInfo, &info, sizeof info) != 0;
}

bool NativeFile::SetModificationTime(int64_t mtime) {
  const uint64_t ticks = static_cast<uint64_t>(mtime + kEpochDifference) * 10000000u;
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return SetFileTime(Handle(handle_), nullptr, nullptr, &time) != 0;
}

void NativeFile::AdviseSequential() {
  // The hint belongs to the open call on Windows, so the file is opened again with it;
  // the new handle reads only, which is all a sequential reader does.
  HANDLE sequential = ReOpenFile(Handle(handle_), GENERIC_READ, kShareAll, FILE_FLAG_SEQUENTIAL_SCAN);
  if (sequential == INVALID_HANDLE_VALUE) return;
  CloseHandle(Handle(handle_));
  handle_ = Stored(sequential);
}

void NativeFile::Close() {
  if (handle_ != kNoHandle) {
    CloseHandle(Handle(handle_));
    handle_ = kNoHandle;
  }
}

}  // namespace kestrova
