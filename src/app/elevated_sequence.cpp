#include "app/elevated_sequence.h"

#include "app/manage_check.h"

namespace kestrova {

int RunElevatedSequence(TSettings& settings, StartupScreen& screen,
                        const std::string& executable_path) {
  TManageCheck check(settings, executable_path,
                     [&screen](const std::string& caption, const std::string& text) {
                       screen.ShowError(caption, text);
                     });
  try {
    if (!check.ReleaseCheck() || !screen.HasDisplay()) return 1;
    return screen.RunMainWindow(settings);
  } catch (const EInOutError& error) {
    screen.ShowError("Error", error.what());
    return 1;
  }
}

}  // namespace kestrova
