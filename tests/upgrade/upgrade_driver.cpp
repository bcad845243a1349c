// Runs the upgrade of the installation around the updater path it is given as a user
// would: the release check, "Update now", then "Launch Application" (or closing the
// window when the upgrade failed). The windows stay offscreen. Exit code: 0 upgraded,
// 2 no release on offer, 3 the upgrade failed. A second argument names a file that
// receives the window's description and then its upgrade log.
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/manage_check.h"
#include "base/paths.h"
#include "base/threads.h"
#include "ui/application.h"
#include "upgrade/form_main_screen.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) return 64;
  kestrova::GuiThread::Attach();
  int toolkit_argc = 1;
  kestrova::ui::TApplication application(toolkit_argc, argv);
  // What the upgrade starts (the application, a restarted updater) has no screen.
  ::unsetenv("QT_QPA_PLATFORM");
  kestrova::TSettings settings;
  kestrova::TManageCheck check(settings, argv[1], nullptr);
  if (!check.ReleaseCheck()) return 2;
  kestrova::TFormMainScreen form(settings, kestrova::FileNameOf(argv[1]));
  form.Show();
  const std::string description = form.RichEdit1.Text();
  form.BitBtnUpdate.Click();
  if (argc == 3) {
    std::ofstream(argv[2]) << "description:\n" << description << "\nlog:\n" << form.RichEdit1.Text();
  }
  const bool upgraded = !form.BitBtnUpdate.Visible();
  if (upgraded) {
    form.BitBtnStart.Click();
  } else {
    form.Close();
  }
  return upgraded ? 0 : 3;
}
