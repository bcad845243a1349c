// Drives another program's windows as a user would: finds a window by its title and
// presses its buttons by their captions.
#pragma once

#include <windows.h>

#include <string>

namespace kestrova::testing {

/// A visible top-level window of process `process_id` titled `title`, waiting up to
/// `seconds` for it to show; null when none did.
HWND WaitForWindow(DWORD process_id, const std::string& title, double seconds);

/// The button captioned `caption` (access-key "&"s aside) in `window` once it is
/// visible and enabled, waiting up to `seconds`; null when it never was.
HWND WaitForButton(HWND window, const std::string& caption, double seconds);

/// Presses the button captioned `caption` (access-key "&"s aside) in `window` as soon
/// as it is visible and enabled, waiting up to `seconds`; false when it never was.
bool PressButton(HWND window, const std::string& caption, double seconds);

/// The text of `window` or of one of its controls.
std::string WindowText(HWND window);

}  // namespace kestrova::testing
