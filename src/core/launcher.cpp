#include "core/launcher.h"

#include "base/files.h"
#include "base/paths.h"
#include "core/command_line.h"

namespace kestrova {
namespace {

constexpr uint16_t kShowNormal = 5;
constexpr int32_t kNormalPriority = 2;
// Priority classes above this index need a system that offers them.
constexpr int32_t kLastClassicPriority = 4;

// A configured path: a full one as it stands, a relative one joined to `folder`.
std::string FromFolder(const std::string& folder, const std::string& path) {
  if (IsFullPath(path)) return path;
  return JoinToFolder(folder, path);
}

}  // namespace

std::string ApplicationProgramPath(const TSettings& settings) {
  return FromFolder(settings.app_directory, settings.main_program);
}

std::string ApplicationWorkingDirectory(const TSettings& settings) {
  return FromFolder(settings.app_directory, settings.main_directory);
}

std::string ApplicationCommandLine(const TSettings& settings) {
  // The program path is not quoted even when it holds blanks, and the blank before
  // the parameters is always there: the process loader resolves the path itself.
  std::string command_line =
      ApplicationProgramPath(settings) + " " + settings.program_parameters;
  for (const std::string& argument : settings.updater_arguments) {
    command_line += " " + QuoteWindowsArgument(argument);
  }
  return command_line;
}

bool LaunchApplication(TSettings& settings) {
  if (settings.process_priority <= 0) return true;
  if (settings.process_priority > kLastClassicPriority && GetWindowsVersionCode() <= 4) {
    settings.process_priority = kNormalPriority;
  }
  return StartProcess(ApplicationCommandLine(settings), ApplicationWorkingDirectory(settings), kShowNormal,
                      settings.process_priority) == 0;
}

}  // namespace kestrova
