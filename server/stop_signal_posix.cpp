#include <signal.h>

#include "stop_signal.h"

namespace kestrova::server {
namespace {

sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

}  // namespace

// Blocked rather than handled: the signal is then taken synchronously by Wait, where
// stopping the server is safe, which it is not inside a signal handler.
StopSignal::StopSignal() {
  const sigset_t signals = StopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void StopSignal::Wait() const {
  const sigset_t signals = StopSignals();
  int received = 0;
  sigwait(&signals, &received);
}

}  // namespace kestrova::server
