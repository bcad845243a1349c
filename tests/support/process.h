// Process services the tests need, stated once and implemented per platform.
#pragma once

#include <functional>

namespace kestrova::testing {

int CurrentProcessId();

/// Runs `work` in a child process and kills it the hard way (no clean-up of any kind)
/// once it calls the `stop_here` it is given, which never returns. False when the
/// child ended without reaching `stop_here`.
bool RunAndKill(const std::function<void(const std::function<void()>& stop_here)>& work);

}  // namespace kestrova::testing
