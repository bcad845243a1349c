// The "installer" command: a Windows setup program for the application with kestrova
// in front of it, written as an NSIS script and built by makensis.
#pragma once

#include <string>

namespace kestrova {

struct TInstallerRequest {
  std::string name;           // the application, as the updaters' `name` setting
  std::string version;        // the version the setup installs
  std::string source;         // the application's files, installed as they lie
  std::string updater;        // kestrova.exe (any name: the shortcuts start it)
  std::string configuration;  // the updater's configuration, installed beside it as <updater>.ini
  std::string output;         // the setup program to write
  std::string publisher;      // shown in the system's list of programs
  bool all_users = false;     // into Program Files for everyone, asking for administrator rights
};

/// The NSIS script of the setup program. It installs per user (the user's
/// LOCALAPPDATA\Programs, no rights needed) or, with all_users, into Program Files;
/// makes the Start menu and desktop shortcuts start the updater; registers the
/// uninstaller in the system's list of programs; and runs without a question with /S.
/// The paths are those makensis reads, made absolute.
std::string InstallerScript(const TInstallerRequest& request);

/// Checks the request, writes the script beside `output` (as .nsi) and runs
/// makensis on it. Returns an empty text on success, else what went wrong.
std::string BuildInstaller(const TInstallerRequest& request);

}  // namespace kestrova
