// The parts of the updater that a start loads only when it uses them.
//
// Most starts show no window, and many ask no server, so the program itself holds
// only what every start needs: the configuration, the recovery of an interrupted
// upgrade and the launcher. The servers' half of the release check (with the HTTP
// library) and the windows (with the window toolkit) are parts of their own. On Linux
// each is a library loaded on first use (startup_parts_posix.cpp), so that a start
// maps neither library unless it uses it; the Windows program is one static .exe, and
// the test programs link the updater in, so there the parts are linked in
// (startup_parts_linked.cpp).
#pragma once

#include <memory>
#include <string>

#include "app/configuration_check.h"
#include "app/startup_screen.h"
#include "core/settings.h"

namespace kestrova {

/// The servers' half of the release check.
struct TCheckPart {
  const char* version;  // the updater's version: a part of another build is refused
  bool (*ask_release_servers)(TSettings& settings, const std::string& executable_path);
  ConfigurationReport (*check_configuration)(const std::string& executable_path);
};

/// The windows.
struct TWindowsPart {
  const char* version;
  std::unique_ptr<StartupScreen> (*open_startup_screen)(int& argc, char** argv);
};

/// False when no window could be shown at all (no display is named), so that a start
/// without a screen does not even load the windows part to find that out.
bool MayShowWindows();

/// The parts, loaded on first use and kept for the rest of the process; nothing when
/// a part cannot be had, which has then been said on standard error.
const TCheckPart* LoadCheckPart();
const TWindowsPart* LoadWindowsPart();

}  // namespace kestrova

// What a part offers the program that loads it.
extern "C" const kestrova::TCheckPart* kestrova_check_part();
extern "C" const kestrova::TWindowsPart* kestrova_windows_part();
