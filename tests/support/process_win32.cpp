#include "support/process.h"

#include <windows.h>

#include <thread>

namespace kestrova::testing {

int CurrentProcessId() { return static_cast<int>(::GetCurrentProcessId()); }

// Windows cannot copy a running process, so the work runs on a thread of its own
// that `stop_here` parks for good: nothing after that point runs, no destructor and
// no clean-up, as after a kill. Unlike a killed process, the handles the work holds
// stay open until the test program ends.
bool RunAndKill(const std::function<void(const std::function<void()>& stop_here)>& work) {
  // A parked worker keeps its events; they go with the test program.
  const HANDLE stopped = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const HANDLE finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!stopped || !finished) return false;
  std::thread worker([work, stopped, finished] {
    work([stopped] {
      ::SetEvent(stopped);
      for (;;) ::Sleep(INFINITE);
    });
    ::SetEvent(finished);
  });
  const HANDLE waits[] = {stopped, finished};
  const bool reached = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0;
  if (reached) {
    worker.detach();
  } else {
    worker.join();
    ::CloseHandle(stopped);
    ::CloseHandle(finished);
  }
  return reached;
}

}  // namespace kestrova::testing
