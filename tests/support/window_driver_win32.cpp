#include "support/window_driver_win32.h"

#include <chrono>
#include <thread>

#include "base/wide_text_win32.h"

namespace kestrova::testing {
namespace {

using Clock = std::chrono::steady_clock;

struct Search {
  DWORD process_id = 0;
  std::string text;
  HWND found = nullptr;
};

std::string WithoutAccessKeys(std::string text) {
  std::erase(text, '&');
  return text;
}

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM data) {
  auto& search = *reinterpret_cast<Search*>(data);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != search.process_id || !::IsWindowVisible(window) || WindowText(window) != search.text) return TRUE;
  search.found = window;
  return FALSE;
}

BOOL CALLBACK MatchReadyButton(HWND control, LPARAM data) {
  auto& search = *reinterpret_cast<Search*>(data);
  if (!::IsWindowVisible(control) || !::IsWindowEnabled(control)) return TRUE;
  if (WithoutAccessKeys(WindowText(control)) != search.text) return TRUE;
  search.found = control;
  return FALSE;
}

// Asks `find` again every 50 ms until it finds something or `seconds` are over.
template <typename Find>
HWND Poll(double seconds, Find find) {
  const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    if (HWND found = find()) return found;
    if (Clock::now() > deadline) return nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

}  // namespace

std::string WindowText(HWND window) {
  wchar_t text[512] = L"";
  ::GetWindowTextW(window, text, int(std::size(text)));
  return Utf8Text(text);
}

HWND WaitForWindow(DWORD process_id, const std::string& title, double seconds) {
  return Poll(seconds, [&] {
    Search search{process_id, title};
    ::EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
  });
}

HWND WaitForButton(HWND window, const std::string& caption, double seconds) {
  return Poll(seconds, [&] {
    Search search{0, WithoutAccessKeys(caption)};
    ::EnumChildWindows(window, MatchReadyButton, reinterpret_cast<LPARAM>(&search));
    return search.found;
  });
}

bool PressButton(HWND window, const std::string& caption, double seconds) {
  HWND button = WaitForButton(window, caption, seconds);
  // Posted, not sent: the press may open modal windows of its own for a long time.
  return button && ::PostMessageW(button, BM_CLICK, 0, 0);
}

}  // namespace kestrova::testing
