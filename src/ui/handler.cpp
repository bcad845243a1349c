#include "ui/handler.h"

#include <exception>

#include "ui/application.h"

namespace kestrova::ui {

bool RunHandler(const std::function<void()>& handler) {
  if (!handler) return true;
  try {
    handler();
    return true;
  } catch (const std::exception& error) {
    ShowErrorReport(error.what());
  } catch (...) {
    ShowErrorReport("Unknown error");
  }
  return false;
}

}  // namespace kestrova::ui
