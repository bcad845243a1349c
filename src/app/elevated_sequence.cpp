#include "app/elevated_sequence.h"

#include "app/start_preparation.h"
#include "app/startup_parts.h"

namespace kestrova {

int RunElevatedSequence(TSettings& settings, StartupScreen& screen,
                        const std::string& executable_path) {
  const ErrorReporter report = [&screen](const std::string& caption, const std::string& text) {
    screen.ShowError(caption, text);
  };
  try {
    const TStartPreparation start = PrepareStart(settings, executable_path, report);
    if (!start.configuration_loaded || start.updater_restarts) return 1;
    const TCheckPart* check = LoadCheckPart();
    if (!check || !check->ask_release_servers(settings, executable_path) || !screen.HasDisplay()) {
      return 1;
    }
    return screen.RunMainWindow(settings);
  } catch (const EInOutError& error) {
    screen.ShowError("Error", error.what());
    return 1;
  }
}

}  // namespace kestrova
