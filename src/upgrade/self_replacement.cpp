#include "upgrade/self_replacement.h"

#include "base/files.h"
#include "upgrade/detached_script.h"
#include "upgrade/replacement_script.h"

namespace kestrova {

std::vector<std::string> RestartArguments(const std::vector<std::string>& updater_arguments) {
  if (updater_arguments.empty()) return {};
  std::vector<std::string> arguments{"--"};
  arguments.insert(arguments.end(), updater_arguments.begin(), updater_arguments.end());
  return arguments;
}

bool WriteReplacementBatch(const TReplacementRequest& request) {
  const bool new_executable = FileExists(JoinToFolder(request.app_directory, kNewUpdaterFileName));
  const bool new_configuration =
      FileExists(JoinToFolder(request.app_directory, kNewConfigurationFileName));
  if (!new_executable && !new_configuration) return false;
  const std::string script_path = JoinToFolder(request.app_directory, ReplacementScriptName());
  const std::string script = ReplacementScript(request, new_executable, new_configuration);
  if (script.empty() || !ReplaceFileSafely(script_path, script)) return false;
  return StartDetachedScript(script_path, request.app_directory);
}

}  // namespace kestrova
