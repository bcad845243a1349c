#include "app/main_sequence.h"

#include <chrono>

#include "app/check_schedule.h"
#include "app/start_preparation.h"
#include "app/startup_parts.h"
#include "base/threads.h"
#include "core/launcher.h"

namespace kestrova {
namespace {

// How long the servers may take before the wait window shows: an answer within it
// starts the application, or opens the main window, without a window blinking first.
constexpr std::chrono::milliseconds kWaitWindowDelay{250};

bool AskServers(TSettings& settings, const std::string& executable_path) {
  const TCheckPart* check = LoadCheckPart();
  return check && check->ask_release_servers(settings, executable_path);
}

// Asks the servers on a copy of the settings, which the GUI thread takes back when the
// question has ended: the record that the windows use is written on the GUI thread only,
// and that thread stays free to show the wait window meanwhile.
class TServerQuestion : public TThread {
 public:
  TServerQuestion(Key key, const TSettings& settings, std::string executable_path)
      : TThread(key), Settings(settings), executable_path_(std::move(executable_path)) {}

  TSettings Settings;
  bool NewerRelease = false;

 protected:
  void Execute() override { NewerRelease = AskServers(Settings, executable_path_); }

 private:
  const std::string executable_path_;
};

// The check before the start: the wait window shows once kWaitWindowDelay has passed
// without an answer, and stays until the servers have answered or given up.
bool AskShowingTheWaitWindowWhenSlow(TSettings& settings, StartupScreen& screen,
                                     const std::string& executable_path) {
  auto question = TThread::Create<TServerQuestion>(settings, executable_path);
  question->Start();
  const auto due = std::chrono::steady_clock::now() + kWaitWindowDelay;
  if (!GuiThread::WaitUntil([&] { return question->Finished(); }, due)) {
    screen.ShowWaitWindow();
    question->WaitFor();
  }
  settings = question->Settings;
  return question->NewerRelease;
}

bool Launch(TSettings& settings, StartupScreen& screen) {
  if (LaunchApplication(settings)) return true;
  screen.CloseWaitWindow();
  screen.ShowError("Error", "The application could not be started: " + ApplicationCommandLine(settings));
  return false;
}

int StartAndCheck(TSettings& settings, StartupScreen& screen, const std::string& executable_path) {
  const TCheckRecord record = settings.check_release ? ReadCheckRecord(settings.name) : TCheckRecord{};
  const TCheckPlan plan = PlanCheck(settings, record, SecondsNow());
  bool newer = false;
  if (plan == TCheckPlan::kBeforeStart) {
    newer = AskShowingTheWaitWindowWhenSlow(settings, screen, executable_path);
    if (newer && screen.HasDisplay()) {
      NoteCheck(settings, record, newer, SecondsNow());
      screen.HideWaitWindow();
      const int exit_code = screen.RunMainWindow(settings);
      screen.CloseWaitWindow();
      return exit_code;
    }
  }
  if (!Launch(settings, screen)) return 1;
  screen.CloseWaitWindow();
  // No one waits for a check in the background: what it finds is offered next time.
  if (plan == TCheckPlan::kAfterStart) newer = AskServers(settings, executable_path);
  // After the start, which does not wait for the record's durable write.
  if (plan != TCheckPlan::kNone) NoteCheck(settings, record, newer, SecondsNow());
  return 0;
}

}  // namespace

int RunMainSequence(TSettings& settings, StartupScreen& screen, const std::string& executable_path) {
  const ErrorReporter report = [&screen](const std::string& caption, const std::string& text) {
    screen.ShowError(caption, text);
  };
  try {
    const TStartPreparation start = PrepareStart(settings, executable_path, report);
    // Without a configuration the missing file was reported; there is nothing that
    // could be started. A restarting updater takes it from here.
    if (!start.configuration_loaded || start.updater_restarts) {
      screen.CloseWaitWindow();
      return start.configuration_loaded ? 0 : 1;
    }
    return StartAndCheck(settings, screen, executable_path);
  } catch (const EInOutError& error) {
    // The application's configuration could not be prepared: starting the
    // application now could start it on a configuration we failed to read.
    screen.CloseWaitWindow();
    screen.ShowError("Error", error.what());
    return 1;
  }
}

}  // namespace kestrova
