// Starting a command script that must outlive the updater.
#pragma once

#include <cstdint>
#include <string>

namespace kestrova {

/// Starts the system's command interpreter on `script_path` in `working_directory`,
/// detached from the updater: a session of its own, no terminal, nothing inherited but
/// the standard output and error, and nobody's child, so it runs on after the updater
/// has ended. True when the interpreter was started.
bool StartDetachedScript(const std::string& script_path, const std::string& working_directory);

/// The running updater's process id, which a script waits on.
int64_t CurrentProcessId();

}  // namespace kestrova
