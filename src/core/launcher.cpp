#include "core/launcher.h"

#include "base/files.h"

namespace kestrova {
namespace {

constexpr uint16_t kShowNormal = 5;
constexpr int32_t kNormalPriority = 2;
// Priority classes above this index need a system that offers them.
constexpr int32_t kLastClassicPriority = 4;

}  // namespace

void LaunchApplication(TSettings& settings) {
  if (settings.process_priority <= 0) return;
  if (settings.process_priority > kLastClassicPriority && GetWindowsVersionCode() <= 4) {
    settings.process_priority = kNormalPriority;
  }
  const std::string working_directory = JoinToFolder(settings.app_directory, settings.main_directory);
  // The program path is not quoted even when it holds blanks, and the blank before
  // the parameters is always there: the process loader resolves the path itself.
  const std::string command_line =
      JoinToFolder(settings.app_directory, settings.main_program) + " " + settings.program_parameters;
  StartProcess(command_line, working_directory, kShowNormal, settings.process_priority);
}

}  // namespace kestrova
