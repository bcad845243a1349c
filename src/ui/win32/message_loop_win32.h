// The message loop of the GUI thread and the keys that the forms handle themselves.
#pragma once

#include <windows.h>

#include <functional>

namespace kestrova::ui {

/// Handles one message as the program's loops do: Enter, Esc and Tab go to the
/// form's buttons and tab order first, then translation and dispatch.
void HandleMessage(MSG& message);

/// Runs the message loop until `done` holds; `done` is looked at before the first
/// wait and after every message. Returns early on WM_QUIT, which it leaves queued
/// for the outer loop.
void RunLoopUntil(const std::function<bool()>& done);

/// Handles the pending messages; `non_input_only` leaves keyboard and mouse input
/// queued.
void HandlePendingMessages(bool non_input_only);

/// A hidden window that only receives messages, for wake-ups and timers. It
/// passes every message to `on_message` and goes away with its owner.
class MessageWindow {
 public:
  using Handler = std::function<void(UINT message, WPARAM wparam, LPARAM lparam)>;
  explicit MessageWindow(Handler on_message);
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  HWND Handle() const { return hwnd_; }

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  Handler on_message_;
  HWND hwnd_ = nullptr;
};

}  // namespace kestrova::ui
