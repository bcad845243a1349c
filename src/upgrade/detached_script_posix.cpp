// Detached scripts on POSIX systems: /bin/sh in a session of its own, standard
// streams on /dev/null, started through two forks so that no zombie waits on the
// updater.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "upgrade/detached_script.h"

namespace kestrova {
namespace {

constexpr char kShell[] = "/bin/sh";

[[noreturn]] void ReportErrorAndExit(int pipe_fd) {
  const int error = errno;
  [[maybe_unused]] ssize_t n = ::write(pipe_fd, &error, sizeof error);
  ::_exit(127);
}

// Runs in the grandchild; async-signal-safe calls only, the updater has threads.
[[noreturn]] void BecomeShell(const char* script_path, const char* working_directory, int pipe_fd) {
  ::setsid();
  if (::chdir(working_directory) != 0) ReportErrorAndExit(pipe_fd);
  const int null_fd = ::open("/dev/null", O_RDWR);
  if (null_fd < 0) ReportErrorAndExit(pipe_fd);
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) ::dup2(null_fd, fd);
  if (null_fd > STDERR_FILENO && null_fd != pipe_fd) ::close(null_fd);
  // The report pipe closes itself on exec; nothing else of the updater's goes along.
  if (pipe_fd > 3) ::close_range(3, unsigned(pipe_fd - 1), 0);
  ::close_range(unsigned(pipe_fd + 1), ~0U, 0);
  ::execl(kShell, "sh", script_path, static_cast<char*>(nullptr));
  ReportErrorAndExit(pipe_fd);
}

}  // namespace

bool StartDetachedScript(const std::string& script_path, const std::string& working_directory) {
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return false;
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return false;
  }
  if (child == 0) {
    ::close(report[0]);
    const pid_t grandchild = ::fork();
    if (grandchild < 0) ReportErrorAndExit(report[1]);
    if (grandchild == 0) BecomeShell(script_path.c_str(), working_directory.c_str(), report[1]);
    ::_exit(0);
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t n;
  while ((n = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  ::close(report[0]);
  return n == 0;
}

int64_t CurrentProcessId() { return ::getpid(); }

}  // namespace kestrova
