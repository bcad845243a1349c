// kestrova: stands in front of an installed application, offers its newer
// releases, and starts it.
#include "app/caller_console.h"
#include "app/configuration_check.h"
#include "app/elevated_sequence.h"
#include "app/main_sequence.h"
#include "app/on_demand_screen.h"
#include "app/startup_parts.h"
#include "app/updater_arguments.h"
#include "base/files.h"
#include "base/threads.h"
#include "core/settings.h"
#include "upgrade/elevation.h"

#include <cstdio>
#include <cstring>
#include <optional>

namespace {

constexpr char kUsage[] =
    "usage: kestrova [--] [arguments for the application...]\n"
    "       kestrova --check | --help | --version\n"
    "\n"
    "  --check    read the configuration beside the executable as a start would, ask\n"
    "             each release server once, print what was read and every problem;\n"
    "             exit 0 only when nothing is wrong\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "\n"
    "Any other arguments are passed on to the application. \"--\" ends the updater's\n"
    "own options: \"kestrova -- --check\" starts the application with \"--check\".\n";

int PrintConfigurationCheck() {
  kestrova::GuiThread::Attach();
  const kestrova::TCheckPart* check = kestrova::LoadCheckPart();
  if (!check) return 1;
  const kestrova::ConfigurationReport report = check->check_configuration(kestrova::ExecutablePath());
  for (const std::string& line : report.lines) std::puts(line.c_str());
  std::puts(report.ok ? "configuration ok" : "configuration has errors");
  return report.ok ? 0 : 1;
}

// The updater's own options stand alone; answered without the windows, so they work
// without a display.
std::optional<int> AnswerOwnOption(int argc, char** argv) {
  if (argc != 2) return std::nullopt;
  const char* option = argv[1];
  if (std::strcmp(option, "--version") != 0 && std::strcmp(option, "--help") != 0 &&
      std::strcmp(option, "--check") != 0) {
    return std::nullopt;
  }
  kestrova::UseCallersConsole();
  if (std::strcmp(option, "--check") == 0) return PrintConfigurationCheck();
  const bool help = std::strcmp(option, "--help") == 0;
  std::fputs(help ? kUsage : "kestrova " KESTROVA_VERSION "\n", stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (const std::optional<int> answered = AnswerOwnOption(argc, argv)) return *answered;
  kestrova::GuiThread::Attach();
  kestrova::TSettings settings;
  settings.updater_arguments = kestrova::UpdaterArguments(argc, argv);
  kestrova::OnDemandScreen screen(argc > 0 ? argv[0] : "kestrova");
  if (kestrova::ElevatedUpgradeVersion(settings.updater_arguments)) {
    return kestrova::RunElevatedSequence(settings, screen, kestrova::ExecutablePath());
  }
  return kestrova::RunMainSequence(settings, screen, kestrova::ExecutablePath());
}
