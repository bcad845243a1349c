// Detached scripts on POSIX systems: /bin/sh on the script, started the way the
// launcher starts the application (a session of its own, nobody's child, nothing of
// the updater's inherited but its standard output and error).
#include <unistd.h>

#include "core/command_line.h"
#include "core/launcher.h"
#include "upgrade/detached_script.h"

namespace kestrova {
namespace {

constexpr char kShell[] = "/bin/sh";
constexpr uint16_t kShowHidden = 0;
constexpr int32_t kNormalPriority = 2;

}  // namespace

bool StartDetachedScript(const std::string& script_path, const std::string& working_directory) {
  const std::string command_line = std::string(kShell) + " " + QuoteWindowsArgument(script_path);
  return StartProcess(command_line, working_directory, kShowHidden, kNormalPriority) == 0;
}

int64_t CurrentProcessId() { return ::getpid(); }

}  // namespace kestrova
