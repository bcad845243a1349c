#include "ui_test_support.h"

#include <chrono>
#include <filesystem>
#include <thread>

#include "ui/application.h"

namespace kestrova::ui::testing {

std::string ScreenshotDir() {
  const std::filesystem::path dir = std::filesystem::path(KESTROVA_BIN_DIR).parent_path() / "screenshots";
  std::filesystem::create_directories(dir);
  return dir.string();
}

bool SpinUntil(const std::function<bool()>& done, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

Later::Later(int delay_ms, std::function<void()> action) : action_(std::move(action)) {
  timer_.SetInterval(delay_ms);
  timer_.OnTimer = [this] {
    timer_.SetEnabled(false);
    action_();
  };
  timer_.SetEnabled(true);
}

}  // namespace kestrova::ui::testing
