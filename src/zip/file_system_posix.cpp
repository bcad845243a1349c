#include "zip/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <random>
#include <system_error>

namespace kestrova {

const uint8_t kHostSystem = 3;
const bool kDriveLetters = false;

std::u16string FileNameKey(std::u16string_view name) { return std::u16string(name); }

namespace {

[[noreturn]] void ThrowSystemError(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

bool IsDiskFullError(int error) { return error == ENOSPC || error == EDQUOT || error == EFBIG; }

// Attributes a Windows user would see for this mode; dot-files stay visible because
// hiding them would change how other systems extract them.
uint32_t WindowsAttributesOf(const struct stat& st) {
  uint32_t attributes = S_ISDIR(st.st_mode) ? 0x10u : 0x20u;
  if ((st.st_mode & S_IWUSR) == 0) attributes |= 0x01u;
  return attributes;
}

// A new number for every temporary name. Seeding a generator for each of thousands of
// extracted files cost more than writing many of them; one random start, a step and a
// mixing function give distinct names that others cannot guess in advance.
uint64_t NextUniqueNumber() {
  static std::atomic<uint64_t> counter{(uint64_t{std::random_device{}()} << 32) ^
                                       std::random_device{}() ^ static_cast<uint64_t>(getpid())};
  uint64_t z = counter.fetch_add(0x9E3779B97F4A7C15u, std::memory_order_relaxed);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

FileStatus StatusOf(const struct stat& st, bool is_link) {
  FileStatus status;
  status.is_dir = S_ISDIR(st.st_mode);
  status.is_link = is_link;
  status.is_special = !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
  status.size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
  status.mtime = st.st_mtime;
  status.attributes = WindowsAttributesOf(st);
  status.unix_mode = st.st_mode;
  return status;
}

}  // namespace

std::optional<FileStatus> QueryFile(const std::string& path) {
  struct stat link_st;
  if (lstat(path.c_str(), &link_st) != 0) return std::nullopt;
  if (!S_ISLNK(link_st.st_mode)) return StatusOf(link_st, false);
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return std::nullopt;  // dangling link
  return StatusOf(st, true);
}

bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return false;
  std::string prefix = folder;
  if (!prefix.empty() && prefix.back() != '/') prefix += '/';
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (auto status = QueryFile(prefix + name)) {
      entries.push_back({name, *status});
    }
  }
  return true;
}

bool CreateFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0777) == 0) return true;
  struct stat st;
  return errno == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool RenameReplacing(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}

uint64_t AvailablePhysicalMemory() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  uint64_t kib = 0;
  std::string unit;
  while (meminfo >> key >> kib >> unit) {
    if (key == "MemAvailable:") return kib * 1024;
  }
  const long pages = sysconf(_SC_AVPHYS_PAGES);
  const long page_size = sysconf(_SC_PAGESIZE);
  if (pages > 0 && page_size > 0) return static_cast<uint64_t>(pages) * page_size;
  return uint64_t{256} << 20;
}

std::string SystemTemporaryFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = (tmp && *tmp) ? tmp : "/tmp";
  if (folder.back() != '/') folder += '/';
  return folder;
}

std::string CurrentFolder() {
  std::string folder(4096, '\0');
  while (getcwd(folder.data(), folder.size()) == nullptr) {
    if (errno != ERANGE) return "/";
    folder.resize(folder.size() * 2);
  }
  folder.resize(folder.find('\0'));
  if (folder.back() != '/') folder += '/';
  return folder;
}

bool IsFullPath(std::u16string_view path) { return !path.empty() && path[0] == u'/'; }

uint32_t ToDosDateTime(int64_t unix_time) {
  const time_t t = static_cast<time_t>(unix_time);
  struct tm local;
  if (localtime_r(&t, &local) == nullptr) return (1u << 21) | (1u << 16);
  // DOS dates cover 1980-2107; clamp instead of wrapping into nonsense.
  if (local.tm_year < 80) return (1u << 21) | (1u << 16);
  if (local.tm_year > 207) return (((127u << 9) | (12u << 5) | 31u) << 16) | 0xBF7Du;
  const uint32_t date = ((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday;
  const uint32_t time = (local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2);
  return (date << 16) | time;
}

int64_t FromDosDateTime(uint32_t dos_date_time) {
  const uint32_t date = dos_date_time >> 16;
  const uint32_t time = dos_date_time & 0xFFFF;
  struct tm local {};
  local.tm_year = static_cast<int>((date >> 9) & 0x7F) + 80;
  local.tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
  local.tm_mday = static_cast<int>(date & 0x1F);
  local.tm_hour = static_cast<int>(time >> 11);
  local.tm_min = static_cast<int>((time >> 5) & 0x3F);
  local.tm_sec = static_cast<int>((time & 0x1F) * 2);
  local.tm_isdst = -1;
  const time_t t = mktime(&local);
  return t == static_cast<time_t>(-1) ? 0 : static_cast<int64_t>(t);
}

int64_t CurrentUnixTime() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

NativeFile::NativeFile(NativeFile&& other) noexcept
    : fd_(other.fd_), open_error_(other.open_error_) {
  other.fd_ = -1;
}

NativeFile& NativeFile::operator=(NativeFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    open_error_ = other.open_error_;
    other.fd_ = -1;
  }
  return *this;
}

NativeFile NativeFile::OpenForReading(const std::string& path) {
  // A name listed as a file may be a pipe by now; opening without waiting and
  // checking the type keeps a pipe without writer from stalling the caller.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return NativeFile(-1, errno);
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return NativeFile(-1, EINVAL);
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return NativeFile(fd, 0);
}

NativeFile NativeFile::OpenForUpdate(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  return NativeFile(fd, fd < 0 ? errno : 0);
}

NativeFile NativeFile::CreateOrTruncate(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return NativeFile(fd, fd < 0 ? errno : 0);
}

NativeFile NativeFile::CreateUnique(const std::string& folder, const std::string& stem,
                                    std::string& path) {
  static constexpr char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  int error = EEXIST;
  for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
    uint64_t number = NextUniqueNumber();
    std::string suffix(8, 'x');
    for (char& c : suffix) {
      c = kDigits[number % (sizeof kDigits - 1)];
      number /= sizeof kDigits - 1;
    }
    path = folder + stem + suffix + ".tmp";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return NativeFile(fd, 0);
    error = errno;
  }
  return NativeFile(-1, error);
}

size_t NativeFile::ReadAt(uint64_t offset, void* buffer, size_t size) const {
  auto* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = pread(fd_, out + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowSystemError("read");
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

size_t NativeFile::WriteAt(uint64_t offset, const void* buffer, size_t size) {
  const auto* in = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = pwrite(fd_, in + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      if (IsDiskFullError(errno)) break;
      ThrowSystemError("write");
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

uint64_t NativeFile::Size() const {
  struct stat st;
  if (fstat(fd_, &st) != 0) ThrowSystemError("stat");
  return static_cast<uint64_t>(st.st_size);
}

void NativeFile::Truncate(uint64_t size) {
  if (ftruncate(fd_, static_cast<off_t>(size)) != 0) ThrowSystemError("truncate");
}

void NativeFile::Sync() {
  if (fsync(fd_) != 0) ThrowSystemError("sync");
}

bool NativeFile::ApplyAttributes(uint32_t attributes, uint32_t unix_mode) {
  // Set-id and sticky bits from an archive are never trusted.
  if (unix_mode != 0) return fchmod(fd_, unix_mode & 0777) == 0;
  struct stat st;
  if (fstat(fd_, &st) != 0) return false;
  mode_t mode = st.st_mode & 0777;
  if (attributes & 0x01) mode &= ~0222;
  return fchmod(fd_, mode) == 0;
}

bool NativeFile::SetModificationTime(int64_t mtime) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_NOW;
  times[1].tv_sec = static_cast<time_t>(mtime);
  times[1].tv_nsec = 0;
  return futimens(fd_, times) == 0;
}

void NativeFile::AdviseSequential() {
  posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

void NativeFile::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

}  // namespace kestrova
