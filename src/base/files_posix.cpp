#include "base/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <vector>

#include "base/paths.h"

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

// Attributes a Windows user would see for this mode; dot-files stay visible because
// hiding them would change how other systems see them.
uint32_t WindowsAttributesOf(const struct stat& st) {
  uint32_t attributes = S_ISDIR(st.st_mode) ? 0x10u : 0x20u;
  if ((st.st_mode & S_IWUSR) == 0) attributes |= 0x01u;
  return attributes;
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

using FolderStream = std::unique_ptr<DIR, int (*)(DIR*)>;

FolderStream OpenFolder(const std::string& folder) {
  return FolderStream(opendir(folder.c_str()), closedir);
}

bool IsDotName(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path) {
  FileRefusal refusal = FileRefusal::kNone;
  return ReadRegularFile(path, std::numeric_limits<uint64_t>::max(), refusal);
}

std::optional<std::string> ReadRegularFile(const std::string& path, uint64_t max_size,
                                           FileRefusal& refusal) {
  refusal = FileRefusal::kNone;
  struct stat info {};
  // Looked at before the open, which itself can wait (a pipe without writer) or act
  // (a tape device).
  if (::stat(path.c_str(), &info) != 0) {
    refusal = errno == ENOENT || errno == ENOTDIR ? FileRefusal::kMissing : FileRefusal::kUnreadable;
    return std::nullopt;
  }
  if (!S_ISREG(info.st_mode)) {
    refusal = FileRefusal::kNotRegular;
    return std::nullopt;
  }
  // Without blocking, in case the name was swapped for a pipe in between; the opened
  // file is what counts.
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!file.valid()) {
    refusal = FileRefusal::kUnreadable;
    return std::nullopt;
  }
  if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    refusal = FileRefusal::kNotRegular;
    return std::nullopt;
  }
  if (static_cast<uint64_t>(info.st_size) > max_size) {
    refusal = FileRefusal::kTooLarge;
    return std::nullopt;
  }
  std::string content;
  std::vector<char> block(64 * 1024);
  for (;;) {
    const ssize_t n = ::read(file.get(), block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      refusal = FileRefusal::kUnreadable;
      return std::nullopt;
    }
    if (n == 0) break;
    if (size_t(n) > max_size - content.size()) {
      refusal = FileRefusal::kTooLarge;
      return std::nullopt;
    }
    content.append(block.data(), size_t(n));
  }
  return content;
}

namespace {

// The file a write of `path` replaces: the end of its chain of links, so that the
// links stay and lead to the new content. Nothing for a dangling link.
std::optional<std::string> WrittenPath(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  std::unique_ptr<char, decltype(&std::free)> target(::realpath(path.c_str(), nullptr), &std::free);
  if (!target) return std::nullopt;
  return std::string(target.get());
}

}  // namespace

bool ReplaceFileSafely(const std::string& link_or_path, const std::string& content) {
  const std::optional<std::string> written_path = WrittenPath(link_or_path);
  if (!written_path) return false;
  const std::string& path = *written_path;
  mode_t mode = 0644;
  struct stat info {};
  const bool existed = ::stat(path.c_str(), &info) == 0;
  if (existed) {
    if (!S_ISREG(info.st_mode) || IsReadOnlyFile(path)) return false;
    mode = info.st_mode & 07777;
  }
  std::string temporary = FolderOf(path) + ReplaceTemporaryPrefix(path) + "XXXXXX";
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
  const std::string folder_path = FolderOf(path);
  FileDescriptor folder(::open(folder_path.empty() ? "." : folder_path.c_str(),
                               O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.valid()) ::fsync(folder.get());
  return true;
}

bool CreateOwnerOnlyFile(const std::string& path, const std::string& content) {
  // The mode is given at creation, so the content is never readable by others, not
  // even for a moment; the umask can only take permissions away.
  FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!file.valid()) return false;
  const bool written = WriteAll(file.get(), content) && ::fsync(file.get()) == 0;
  if (!file.Close() || !written) {
    ::unlink(path.c_str());
    return false;
  }
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

std::string CurrentFolder() {
  std::string folder(4096, '\0');
  while (getcwd(folder.data(), folder.size()) == nullptr) {
    if (errno != ERANGE) return "/";
    folder.resize(folder.size() * 2);
  }
  folder.resize(folder.find('\0'));
  return WithTrailingSeparator(folder);
}

std::optional<FileStatus> QueryFile(const std::string& path) {
  struct stat link_st;
  if (lstat(path.c_str(), &link_st) != 0) return std::nullopt;
  if (!S_ISLNK(link_st.st_mode)) return StatusOf(link_st, false);
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return std::nullopt;  // dangling link
  return StatusOf(st, true);
}

bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries) {
  const FolderStream dir = OpenFolder(folder);
  if (!dir) return false;
  while (const dirent* entry = readdir(dir.get())) {
    if (IsDotName(entry->d_name)) continue;
    if (auto status = QueryFile(JoinPath(folder, entry->d_name))) {
      entries.push_back({entry->d_name, *status});
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

bool RemoveEmptyFolder(const std::string& path) { return rmdir(path.c_str()) == 0; }

bool RemoveFolderTree(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return unlink(path.c_str()) == 0;
  // A folder without write permission keeps its names; the owner may give it back.
  if ((st.st_mode & 0700) != 0700) chmod(path.c_str(), st.st_mode | 0700);
  std::vector<std::string> names;
  if (const FolderStream dir = OpenFolder(path)) {
    while (const dirent* entry = readdir(dir.get())) {
      if (!IsDotName(entry->d_name)) names.emplace_back(entry->d_name);
    }
  }
  for (const auto& name : names) RemoveFolderTree(JoinPath(path, name));
  return rmdir(path.c_str()) == 0;
}

bool RenameReplacing(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}

std::optional<std::string> FolderWriteFault(const std::string& folder) {
  const std::string path = folder.empty() ? "." : folder;
  FileDescriptor unnamed(::open(path.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
  if (unnamed.valid()) return std::nullopt;
  // File systems without unnamed files: a named one, removed at once.
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return std::string(std::strerror(errno));
  std::string probe = JoinPath(path, ".kestrova-write-test-XXXXXX");
  FileDescriptor named(::mkstemp(probe.data()));
  if (!named.valid()) return std::string(std::strerror(errno));
  ::unlink(probe.c_str());
  return std::nullopt;
}

bool SyncFolder(const std::string& folder) {
  FileDescriptor handle(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return handle.valid() && ::fsync(handle.get()) == 0;
}

std::optional<uint64_t> FreeDiskSpace(const std::string& path) {
  // A target that does not exist yet will land on the file system of the nearest
  // folder above it that does.
  std::string probe = path.empty() ? "." : path;
  for (;;) {
    struct statvfs info;
    if (statvfs(probe.c_str(), &info) == 0) return uint64_t(info.f_bavail) * info.f_frsize;
    if (errno != ENOENT && errno != ENOTDIR) return std::nullopt;
    while (probe.size() > 1 && IsNativeSeparator(probe.back())) probe.pop_back();
    std::string parent = FolderOf(probe);
    if (parent.empty()) parent.push_back('.');
    if (parent == probe || probe == ".") return std::nullopt;
    probe = parent;
  }
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

}  // namespace kestrova
