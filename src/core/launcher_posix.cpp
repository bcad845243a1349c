// Starting processes on POSIX systems with the behaviour of the Windows loader:
// the program found in an unquoted command line, Windows argument quoting, a
// session of its own, and the priority classes mapped to nice values.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "core/command_line.h"
#include "core/launcher.h"

namespace kestrova {
namespace {

// Nice values of the priority classes 1-6: idle, normal, high, real-time, above
// normal, below normal.
constexpr std::array<int, 6> kNiceOfPriority = {19, 0, -10, -20, -5, 10};

// An index outside the table starts the program at normal priority rather than
// not at all: the publisher asked for the application to run.
int NiceValueFor(int32_t priority_index) {
  if (priority_index < 1 || priority_index > int32_t(kNiceOfPriority.size())) return 0;
  return kNiceOfPriority[size_t(priority_index - 1)];
}

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// A bare name is looked for along PATH, as the loader searches its folders.
std::string ResolveProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : std::string();
  const char* path = std::getenv("PATH");
  std::string_view folders = path ? path : "/usr/bin:/bin";
  while (!folders.empty()) {
    const size_t colon = folders.find(':');
    std::string folder(folders.substr(0, colon));
    folders = colon == std::string_view::npos ? "" : folders.substr(colon + 1);
    const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
  }
  return {};
}

// Asks for the nice value; when the system refuses a raised priority, takes the
// nearest one it allows.
void ApplyNiceValue(int wanted) {
  errno = 0;
  const int current = ::getpriority(PRIO_PROCESS, 0);
  if (errno != 0) return;
  if (wanted >= current) {
    ::setpriority(PRIO_PROCESS, 0, wanted);
    return;
  }
  for (int nice = wanted; nice < current; ++nice) {
    if (::setpriority(PRIO_PROCESS, 0, nice) == 0) return;
  }
}

[[noreturn]] void WriteErrorAndExit(int pipe_fd) {
  const int error = errno;
  [[maybe_unused]] ssize_t n = ::write(pipe_fd, &error, sizeof error);
  ::_exit(127);
}

// Runs in the grandchild: becomes the new process, or reports why it cannot.
// Only async-signal-safe calls: the updater may have other threads.
[[noreturn]] void BecomeProcess(char* const* argv, const char* working_directory, int nice, int pipe_fd) {
  ::setsid();
  ApplyNiceValue(nice);
  if (*working_directory && ::chdir(working_directory) != 0) WriteErrorAndExit(pipe_fd);
  const int null_fd = ::open("/dev/null", O_RDONLY);
  if (null_fd >= 0) {
    ::dup2(null_fd, STDIN_FILENO);
    if (null_fd != STDIN_FILENO) ::close(null_fd);
  }
  // Nothing of the updater's is inherited but standard output and error; the
  // report pipe closes itself on exec.
  if (pipe_fd > 3) ::close_range(3, unsigned(pipe_fd - 1), 0);
  ::close_range(unsigned(pipe_fd + 1), ~0U, 0);
  ::execv(argv[0], argv);
  WriteErrorAndExit(pipe_fd);
  ::_exit(127);
}

}  // namespace

int StartProcess(const std::string& command_line, const std::string& working_directory,
                 uint16_t /*show_state: no windows to show at this level*/, int32_t priority_index) {
  auto parsed = ParseCommandLine(command_line, [](const std::string& p) { return !ResolveProgram(p).empty(); });
  if (!parsed) return -1;
  const std::string program = ResolveProgram(parsed->program);
  const int nice = NiceValueFor(priority_index);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (std::string& argument : parsed->arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return -1;
  // Two forks, so that the application is nobody's child and never lingers as a
  // zombie while the updater's main window stays open.
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return -1;
  }
  if (child == 0) {
    ::close(report[0]);
    const pid_t grandchild = ::fork();
    if (grandchild < 0) WriteErrorAndExit(report[1]);
    if (grandchild == 0) BecomeProcess(argv.data(), working_directory.c_str(), nice, report[1]);
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
  return n == 0 ? 0 : -1;
}

int32_t GetWindowsVersionCode() {
  // The newest code of the table: this system offers every priority class, so the
  // launcher must not fall back to normal priority.
  return 6;
}

}  // namespace kestrova
