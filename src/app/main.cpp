// kestrova: stands in front of an installed application, offers its newer
// releases, and starts it.
#include "app/main_sequence.h"
#include "core/settings.h"
#include "app/startup_screen.h"
#include "base/files.h"
#include "base/threads.h"

int main(int argc, char** argv) {
  kestrova::GuiThread::Attach();
  kestrova::TSettings settings;
  auto screen = kestrova::OpenStartupScreen(argc, argv);
  return kestrova::RunMainSequence(settings, *screen, kestrova::ExecutablePath());
}
