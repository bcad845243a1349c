#include <fcntl.h>
#include <unistd.h>

#include <utility>

#include "owner_only_file.h"

namespace kestrova {
namespace {

// Closes the descriptor when the scope ends.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

bool WriteAll(int fd, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t wrote = ::write(fd, content.data() + done, content.size() - done);
    if (wrote <= 0) return false;
    done += static_cast<size_t>(wrote);
  }
  return ::fsync(fd) == 0;
}

}  // namespace

bool CreateOwnerOnlyFile(const std::string& path, const std::string& content) {
  // The mode is given at creation, so the secret is never readable by others, not
  // even for a moment; the umask can only take permissions away.
  Descriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (file.get() < 0) return false;
  const bool written = WriteAll(file.get(), content);
  if (::close(file.Release()) != 0 || !written) {
    ::unlink(path.c_str());
    return false;
  }
  return true;
}

}  // namespace kestrova
