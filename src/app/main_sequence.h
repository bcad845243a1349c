// The updater's start-up sequence.
#pragma once

#include <string>

#include "core/settings.h"
#include "app/startup_screen.h"

namespace kestrova {

/// Runs start-up: wait window, release check, then either the main window (newer
/// release, with a display) or the application. Returns the process exit code.
int RunMainSequence(TSettings& settings, StartupScreen& screen, const std::string& executable_path);

}  // namespace kestrova
