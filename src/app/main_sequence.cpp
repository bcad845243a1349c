#include "app/main_sequence.h"

#include "core/launcher.h"
#include "app/manage_check.h"

namespace kestrova {

int RunMainSequence(TSettings& settings, StartupScreen& screen, const std::string& executable_path) {
  TManageCheck check(settings, executable_path,
                     [&screen](const std::string& caption, const std::string& text) {
                       screen.ShowError(caption, text);
                     });
  screen.ShowWaitWindow();
  try {
    if (check.ReleaseCheck() && screen.HasDisplay()) {
      screen.HideWaitWindow();
      const int exit_code = screen.RunMainWindow(settings);
      screen.CloseWaitWindow();
      return exit_code;
    } else if (check.UpdaterRestarts()) {
      // The replaced updater starts again and takes it from there.
      screen.CloseWaitWindow();
      return 0;
    } else if (!check.ConfigurationLoaded()) {
      // Reported already; there is nothing that could be started.
      screen.CloseWaitWindow();
      return 1;
    } else if (!LaunchApplication(settings)) {
      screen.CloseWaitWindow();
      screen.ShowError("Error", "The application could not be started: " + ApplicationCommandLine(settings));
      return 1;
    }
  } catch (const EInOutError& error) {
    // The application's configuration could not be prepared: starting the
    // application now could start it on a configuration we failed to read.
    screen.CloseWaitWindow();
    screen.ShowError("Error", error.what());
    return 1;
  }
  screen.CloseWaitWindow();
  return 0;
}

}  // namespace kestrova
