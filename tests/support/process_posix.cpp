#include "support/process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace kestrova::testing {

int CurrentProcessId() { return static_cast<int>(::getpid()); }

bool RunAndKill(const std::function<void(const std::function<void()>& stop_here)>& work) {
  int ready[2];
  if (::pipe(ready) != 0) return false;
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    ::close(ready[0]);
    work([&] {
      const char byte = 1;
      [[maybe_unused]] ssize_t ignored = ::write(ready[1], &byte, 1);
      for (;;) ::pause();
    });
    ::_exit(0);  // never back into the test framework of the parent
  }
  ::close(ready[1]);
  char byte = 0;
  ssize_t got;
  do {
    got = ::read(ready[0], &byte, 1);
  } while (got < 0 && errno == EINTR);
  ::close(ready[0]);
  if (got == 1) ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  return got == 1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

}  // namespace kestrova::testing
