// Starting the application the updater stands in front of.
#pragma once

#include <cstdint>
#include <string>

#include "core/settings.h"

namespace kestrova {

/// Starts the configured application and returns at once; does nothing when
/// `process_priority` is 0 or less. May lower `process_priority` to 2 (normal)
/// where the system cannot honour the requested class. False when the application
/// was to be started and could not be.
bool LaunchApplication(TSettings& settings);

/// The application's program (main_program) and working folder (main_directory), as
/// LaunchApplication resolves them against the updater's folder.
std::string ApplicationProgramPath(const TSettings& settings);
std::string ApplicationWorkingDirectory(const TSettings& settings);

/// The command line LaunchApplication starts: the program, program_parameters, then
/// the updater's own arguments, each quoted as it needs.
std::string ApplicationCommandLine(const TSettings& settings);

/// Starts `command_line` in `working_directory` with the priority class of
/// `priority_index` (1-6); 0 when the process was created, -1 when not.
int StartProcess(const std::string& command_line, const std::string& working_directory,
                 uint16_t show_state, int32_t priority_index);

/// A code for the running system's version; on systems that offer every priority
/// class it is above 4, so no class is refused.
int32_t GetWindowsVersionCode();

}  // namespace kestrova
