#include "base/native_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <limits>
#include <random>
#include <system_error>

namespace kestrova {
namespace {

std::string ErrorText(int error) { return std::generic_category().message(error); }

[[noreturn]] void ThrowFileError(const char* what) {
  throw NativeFileError(std::string(what) + ": " + ErrorText(errno));
}

bool IsDiskFullError(int error) { return error == ENOSPC || error == EDQUOT || error == EFBIG; }

int Fd(intptr_t handle) { return static_cast<int>(handle); }

// Offsets past this cannot be named to the system; no file reaches them.
static_assert(sizeof(off_t) == 8, "offsets up to the last one a file reaches");

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

std::string UniqueName(const std::string& folder, const std::string& stem) {
  static constexpr char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  uint64_t number = NextUniqueNumber();
  std::string suffix(8, 'x');
  for (char& c : suffix) {
    c = kDigits[number % (sizeof kDigits - 1)];
    number /= sizeof kDigits - 1;
  }
  return folder + stem + suffix + ".tmp";
}

// Naming an open file goes through its /proc entry, which any owner may use; naming it
// by descriptor alone needs a privilege, and is the fallback where /proc is missing.
int LinkDescriptor(int fd, const std::string& path) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
  if (errno == EEXIST) return EEXIST;
  if (linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return 0;
  return errno;
}

}  // namespace

NativeFile NativeFile::OpenForReading(const std::string& path) {
  // A name listed as a file may be a pipe by now; opening without waiting and
  // checking the type keeps a pipe without writer from stalling the caller.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return NativeFile(kNoHandle, ErrorText(errno));
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return NativeFile(kNoHandle, "Not a regular file");
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return NativeFile(fd, {});
}

NativeFile NativeFile::OpenForUpdate(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  return NativeFile(fd < 0 ? kNoHandle : fd, fd < 0 ? ErrorText(errno) : std::string());
}

NativeFile NativeFile::CreateOrTruncate(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return NativeFile(fd < 0 ? kNoHandle : fd, fd < 0 ? ErrorText(errno) : std::string());
}

NativeFile NativeFile::CreateUnique(const std::string& folder, const std::string& stem,
                                    std::string& path) {
  int error = EEXIST;
  for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
    path = UniqueName(folder, stem);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return NativeFile(fd, {});
    error = errno;
  }
  return NativeFile(kNoHandle, ErrorText(error));
}

NativeFile NativeFile::CreateUnnamed(const std::string& folder) {
#ifdef O_TMPFILE
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  return NativeFile(fd < 0 ? kNoHandle : fd, fd < 0 ? ErrorText(errno) : std::string());
#else
  return NativeFile(kNoHandle, ErrorText(EOPNOTSUPP));
#endif
}

bool NativeFile::LinkAs(const std::string& path) { return LinkDescriptor(Fd(handle_), path) == 0; }

bool NativeFile::LinkUnique(const std::string& folder, const std::string& stem, std::string& path) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    path = UniqueName(folder, stem);
    const int error = LinkDescriptor(Fd(handle_), path);
    if (error == 0) return true;
    if (error != EEXIST) break;
  }
  path.clear();
  return false;
}

NativeFile NativeFile::Duplicate() const {
  const int fd = fcntl(Fd(handle_), F_DUPFD_CLOEXEC, 0);
  return NativeFile(fd < 0 ? kNoHandle : fd, fd < 0 ? ErrorText(errno) : std::string());
}

size_t NativeFile::ReadOnce(uint64_t offset, void* buffer, size_t size) const {
  for (;;) {
    const ssize_t n = pread(Fd(handle_), buffer, size, static_cast<off_t>(offset));
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) ThrowFileError("read");
  }
}

size_t NativeFile::WriteOnce(uint64_t offset, const void* buffer, size_t size) {
  for (;;) {
    const ssize_t n = pwrite(Fd(handle_), buffer, size, static_cast<off_t>(offset));
    if (n >= 0) return static_cast<size_t>(n);
    if (IsDiskFullError(errno)) return 0;
    if (errno != EINTR) ThrowFileError("write");
  }
}

uint64_t NativeFile::Size() const {
  struct stat st;
  if (fstat(Fd(handle_), &st) != 0) ThrowFileError("stat");
  return static_cast<uint64_t>(st.st_size);
}

void NativeFile::Truncate(uint64_t size) {
  if (size > kLastOffset || ftruncate(Fd(handle_), static_cast<off_t>(size)) != 0) {
    ThrowFileError("truncate");
  }
}

void NativeFile::Sync() {
  if (fsync(Fd(handle_)) != 0) ThrowFileError("sync");
}

bool NativeFile::ApplyAttributes(uint32_t attributes, uint32_t unix_mode) {
  // Set-id and sticky bits from an archive are never trusted.
  if (unix_mode != 0) return fchmod(Fd(handle_), unix_mode & 0777) == 0;
  struct stat st;
  if (fstat(Fd(handle_), &st) != 0) return false;
  mode_t mode = st.st_mode & 0777;
  if (attributes & 0x01) mode &= ~0222;
  return fchmod(Fd(handle_), mode) == 0;
}

bool NativeFile::SetModificationTime(int64_t mtime) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_NOW;
  times[1].tv_sec = static_cast<time_t>(mtime);
  times[1].tv_nsec = 0;
  return futimens(Fd(handle_), times) == 0;
}

void NativeFile::AdviseSequential() {
  posix_fadvise(Fd(handle_), 0, 0, POSIX_FADV_SEQUENTIAL);
}

void NativeFile::Close() {
  if (handle_ != kNoHandle) {
    ::close(Fd(handle_));
    handle_ = kNoHandle;
  }
}

}  // namespace kestrova
