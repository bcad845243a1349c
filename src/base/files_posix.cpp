#include "base/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

namespace kestrova {
namespace {

// Closes a file descriptor when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now, reporting whether the last buffered writes reached the file.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid()) return std::nullopt;
  struct stat info {};
  if (::fstat(file.get(), &info) != 0 || S_ISDIR(info.st_mode)) return std::nullopt;
  std::string content;
  std::vector<char> block(64 * 1024);
  for (;;) {
    const ssize_t n = ::read(file.get(), block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    content.append(block.data(), size_t(n));
  }
  return content;
}

bool ReplaceFileSafely(const std::string& path, const std::string& content) {
  mode_t mode = 0644;
  struct stat info {};
  const bool existed = ::stat(path.c_str(), &info) == 0;
  if (existed) {
    if (!S_ISREG(info.st_mode) || IsReadOnlyFile(path)) return false;
    mode = info.st_mode & 07777;
  }
  std::string temporary = path + ".XXXXXX";
  FileDescriptor file(::mkstemp(temporary.data()));
  if (!file.valid()) return false;
  // The owner stays too, so that an updater run by an administrator does not leave the
  // application unable to write its own file; only root can do this, and only root
  // would otherwise change the owner.
  if (existed && ::geteuid() == 0) {
    [[maybe_unused]] int ignored = ::fchown(file.get(), info.st_uid, info.st_gid);
  }
  const bool written = WriteAll(file.get(), content) && ::fchmod(file.get(), mode) == 0 &&
                       ::fsync(file.get()) == 0;
  if (!file.Close() || !written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  // Make the rename itself durable.
  FileDescriptor folder(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.valid()) ::fsync(folder.get());
  return true;
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool IsReadOnlyFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && (info.st_mode & 0222) == 0;
}

std::string JoinToFolder(const std::string& folder, const std::string& relative) {
  std::string path = folder + relative;
  for (size_t i = folder.size(); i < path.size(); ++i) {
    if (path[i] == '\\') path[i] = '/';
  }
  return path;
}

std::string ExecutablePath() {
  std::vector<char> buffer(PATH_MAX + 1);
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return {};
  return std::string(buffer.data(), size_t(n));
}

std::string TemporaryDirectory() {
  const char* tmpdir = std::getenv("TMPDIR");
  std::string folder = tmpdir && *tmpdir ? tmpdir : "/tmp";
  if (folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace kestrova
