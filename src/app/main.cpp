// kestrova: stands in front of an installed application, offers its newer
// releases, and starts it.
#include "app/caller_console.h"
#include "app/main_sequence.h"
#include "app/startup_screen.h"
#include "app/updater_arguments.h"
#include "base/files.h"
#include "base/threads.h"
#include "core/settings.h"

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  // Answered before the toolkit starts, so it works without a display.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    kestrova::UseCallersConsole();
    std::puts("kestrova " KESTROVA_VERSION);
    return 0;
  }
  kestrova::GuiThread::Attach();
  kestrova::TSettings settings;
  auto screen = kestrova::OpenStartupScreen(argc, argv);
  // Taken after the toolkit has removed the options meant for it.
  settings.updater_arguments = kestrova::UpdaterArguments(argc, argv);
  return kestrova::RunMainSequence(settings, *screen, kestrova::ExecutablePath());
}
