// Start-up of the run that "Update now" starts with administrator rights.
#pragma once

#include <string>

#include "app/startup_screen.h"
#include "core/settings.h"

namespace kestrova {

/// Checks for the release again and, when it is the one the user agreed to and a
/// screen shows the upgrade, runs the upgrade in the main window. Never starts the
/// application: it would run with the rights given for the upgrade. Returns 0 when the
/// release went in, else 1.
int RunElevatedSequence(TSettings& settings, StartupScreen& screen,
                        const std::string& executable_path);

}  // namespace kestrova
