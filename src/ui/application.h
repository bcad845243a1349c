// The program's link to the window system: message loop, cursor, message box.
#pragma once

#include <memory>
#include <string>

#include "ui/types.h"

namespace kestrova::ui {

class TForm;

/// A hold on the display, taken before the toolkit starts and kept until it has
/// connected itself: a window server that resets when its last client leaves then
/// cannot go away in between. Nothing when no display can be used; the check is
/// bounded in time, since a server that accepts and never answers would hang the
/// toolkit, and never lets the toolkit give up on the process.
using DisplayHold = std::shared_ptr<void>;
DisplayHold HoldDisplay();

/// Whether windows can be shown at all: a display answers or a platform is forced.
inline bool CanOpenDisplay() { return HoldDisplay() != nullptr; }

/// The window system for this process. One exists while windows are used; it makes
/// the constructing thread the GUI thread and lets worker threads hand calls to it.
class TApplication {
 public:
  TApplication(int& argc, char** argv);
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  /// Shows `main_form` and runs the message loop until that window has closed.
  void Run(TForm& main_form);

 private:
  struct Native;
  std::unique_ptr<Native> native_;
};

/// Handles every pending message, user input included, then returns. Lets a long
/// handler keep its window alive.
void ProcessMessages();
/// Handles pending timers, repaints and handed-over calls, but leaves user input
/// waiting.
void ProcessNonInputMessages();

/// The cursor over all windows of the program; Default gives each control its own.
void SetScreenCursor(TCursor cursor);
TCursor ScreenCursor();

/// A message box with `text`, the caption `caption`, only an OK button and no icon;
/// returns when it was closed.
void ShowMessageBox(const std::string& caption, const std::string& text);

/// The standard report of an error that escaped an event handler: a message box
/// with the program's name as caption, an error icon, the message (ending in a
/// full stop) and OK.
void ShowErrorReport(const std::string& message);
/// The text of that report: the message, ending in a full stop.
std::string ErrorReportText(const std::string& message);

/// The rectangle of the primary screen.
TRect DesktopRect();

}  // namespace kestrova::ui
