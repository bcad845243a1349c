#include <objbase.h>
#include <windows.h>
#include <commctrl.h>

#include <mutex>

#include "base/threads.h"
#include "ui/application.h"
#include "ui/form.h"
#include "ui/win32/cursors_win32.h"
#include "ui/win32/message_loop_win32.h"
#include "ui/win32/native_control_win32.h"

namespace kestrova::ui {
namespace {

constexpr UINT kWakeMessage = WM_APP + 1;

TCursor screen_cursor = TCursor::Default;

// Lets worker threads post to the GUI thread's loop only while the application
// exists: a wake that races with the application's end finds no window.
struct WakeTarget {
  std::mutex mutex;
  HWND hwnd = nullptr;
};

GuiLoopHooks Win32Hooks(std::shared_ptr<WakeTarget> target) {
  GuiLoopHooks hooks;
  hooks.wake = [target] {
    std::lock_guard lock(target->mutex);
    // A window, not the thread: a thread message is lost while a modal loop that
    // the program does not own (a message box) runs.
    if (target->hwnd) PostMessageW(target->hwnd, kWakeMessage, 0, 0);
  };
  hooks.process_non_input = [] { HandlePendingMessages(true); };
  return hooks;
}

std::wstring ProgramName() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring name(path);
  if (const size_t slash = name.find_last_of(L"\\/"); slash != std::wstring::npos) name.erase(0, slash + 1);
  if (const size_t dot = name.rfind(L'.'); dot != std::wstring::npos) name.erase(dot);
  return name;
}

void ShowBox(const std::wstring& caption, const std::wstring& text, UINT icon) {
  // Above always-on-top windows such as the wait window, which would hide it.
  MessageBoxW(GetActiveWindow(), text.c_str(), caption.c_str(), MB_OK | icon | MB_TOPMOST | MB_SETFOREGROUND);
}

}  // namespace

struct TApplication::Native {
  std::shared_ptr<WakeTarget> wake_target = std::make_shared<WakeTarget>();
  std::unique_ptr<MessageWindow> wake_window;
  bool com_initialised = false;
};

TApplication::TApplication(int& /*argc*/, char** /*argv*/) : native_(std::make_unique<Native>()) {
  // The shell and shortcut calls of the upgrade run on this thread.
  native_->com_initialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  native_->wake_window = std::make_unique<MessageWindow>([](UINT message, WPARAM, LPARAM) {
    if (message == kWakeMessage) GuiThread::CheckSynchronize();
  });
  native_->wake_target->hwnd = native_->wake_window->Handle();
  GuiThread::Attach();
  GuiThread::SetHooks(Win32Hooks(native_->wake_target));
}

TApplication::~TApplication() {
  {
    std::lock_guard lock(native_->wake_target->mutex);
    native_->wake_target->hwnd = nullptr;
  }
  GuiThread::SetHooks({});
  // Calls handed over meanwhile must not be lost: run them before the loop goes.
  GuiThread::CheckSynchronize();
  native_->wake_window.reset();
  if (native_->com_initialised) CoUninitialize();
}

void TApplication::Run(TForm& main_form) {
  main_form.Show();
  RunLoopUntil([&] { return !main_form.Visible(); });
}

void ProcessMessages() { HandlePendingMessages(false); }

void ProcessNonInputMessages() { HandlePendingMessages(true); }

void SetScreenCursor(TCursor cursor) {
  screen_cursor = cursor;
  // Shown at once, not only when the mouse next moves.
  POINT at;
  if (GetCursorPos(&at)) {
    if (HWND under = WindowFromPoint(at); under && NativeControl::FromHandle(under)) {
      if (!ApplyCursorFor(NativeControl::FromHandle(under))) SetCursor(SystemCursor(TCursor::Arrow));
    }
  }
}

TCursor ScreenCursor() { return screen_cursor; }

void ShowMessageBox(const std::string& caption, const std::string& text) {
  ShowBox(Wide(caption), Wide(text), 0);
}

void ShowErrorReport(const std::string& message) {
  ShowBox(ProgramName(), Wide(ErrorReportText(message)), MB_ICONERROR);
}

TRect DesktopRect() { return TRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

DisplayHold HoldDisplay() {
  // A Windows session always has its desktop.
  return std::make_shared<int>(0);
}

}  // namespace kestrova::ui
