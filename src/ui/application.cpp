#include "ui/application.h"

namespace kestrova::ui {

std::string ErrorReportText(const std::string& message) {
  return message.empty() || message.back() != '.' ? message + "." : message;
}

}  // namespace kestrova::ui
