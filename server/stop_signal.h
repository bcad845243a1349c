// The request to stop that the system sends a server (SIGINT, SIGTERM).
#pragma once

namespace kestrova::server {

/// Takes over the stop signals for the whole process. Construct it before any other
/// thread starts, so that every thread leaves the signals to Wait.
class StopSignal {
 public:
  StopSignal();
  /// Blocks until a stop signal arrives.
  void Wait() const;
};

}  // namespace kestrova::server
