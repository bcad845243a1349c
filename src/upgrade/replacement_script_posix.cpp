// The replacement script for the POSIX shell, run as /bin/sh batch_update.sh.
#include <filesystem>
#include <system_error>

#include "base/files.h"
#include "core/configuration.h"
#include "upgrade/replacement_script.h"

namespace kestrova {
namespace {

constexpr unsigned kDefaultExecutableMode = 0755;
// The wait for the updater's exit polls five times a second for at most a minute.
constexpr int kExitPolls = 300;

// One word for the POSIX shell: single quotes keep blanks, "$" and backquotes as
// they are; a single quote itself closes, escapes and reopens.
std::string QuoteForShell(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string OctalMode(unsigned mode) {
  std::string digits;
  for (int shift = 6; shift >= 0; shift -= 3) digits += char('0' + ((mode >> shift) & 7));
  return digits;
}

// A bounded wait rather than a fixed one: the updater may take long to close its
// window, and a reused process id must not hold the replacement forever. After the
// bound the script goes on, as renaming over a running executable is safe here.
std::string WaitForExit(int64_t process_id) {
  return "polls=0\n"
         "while kill -0 " + std::to_string(process_id) + " 2>/dev/null && [ \"$polls\" -lt " +
         std::to_string(kExitPolls) + " ]; do\n"
         "  sleep 0.2 2>/dev/null || sleep 1\n"
         "  polls=$((polls + 1))\n"
         "done\n";
}

// Each replacement is a rename within the folder, so the updater is always either
// the old or the new file, never a half-written one.
std::string MoveOver(const std::string& from, const std::string& to) {
  return "mv -f -- " + QuoteForShell(from) + " " + QuoteForShell(to);
}

std::string RestartUpdater(const TReplacementRequest& request) {
  std::string line = QuoteForShell("./" + request.executable_name);
  for (const std::string& argument : request.updater_arguments) line += " " + QuoteForShell(argument);
  return line + " &\n";
}

// The permission bits of the running executable, which its successor keeps.
unsigned ExecutableMode(const std::string& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error || !std::filesystem::is_regular_file(status)) return kDefaultExecutableMode;
  return unsigned(status.permissions() & std::filesystem::perms::all);
}

}  // namespace

const char* ReplacementScriptName() { return "batch_update.sh"; }

std::string ReplacementScript(const TReplacementRequest& request, bool new_executable,
                              bool new_configuration) {
  const std::string configuration_name = ConfigurationPath("", request.executable_name);
  std::string script = "#!/bin/sh\n";
  script += "cd " + QuoteForShell(request.app_directory) + " || exit 1\n";
  script += WaitForExit(request.updater_process_id);
  if (new_executable) {
    const unsigned mode = ExecutableMode(JoinToFolder(request.app_directory, request.executable_name));
    script += "chmod " + OctalMode(mode) + " " + QuoteForShell(kNewUpdaterFileName) +
              " && " + MoveOver(kNewUpdaterFileName, request.executable_name) + "\n";
  }
  if (new_configuration) script += MoveOver(kNewConfigurationFileName, configuration_name) + "\n";
  if (request.LaunchRequested) script += RestartUpdater(request);
  script += "rm -f -- " + QuoteForShell(ReplacementScriptName()) + "\n";
  return script;
}

}  // namespace kestrova
