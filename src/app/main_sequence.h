// The updater's start-up sequence.
#pragma once

#include <string>

#include "core/settings.h"
#include "app/startup_screen.h"

namespace kestrova {

/// Runs start-up: the configuration, the release check when one is due (the wait
/// window showing when the servers take long), then either the main window (newer
/// release, with a display) or the application; a check in the background comes
/// after the application. Returns the process exit code.
int RunMainSequence(TSettings& settings, StartupScreen& screen, const std::string& executable_path);

}  // namespace kestrova
