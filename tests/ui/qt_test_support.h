// What the tests of the Qt port share: the application object and screenshots.
#pragma once

#include <QImage>
#include <functional>
#include <string>

#include "ui/form.h"

namespace kestrova::ui::testing {

/// Where the tests put pictures of windows for a reviewer: <build>/screenshots.
std::string ScreenshotDir();

/// Saves `form` as <build>/screenshots/<name>.png and returns the picture.
QImage SaveFormScreenshot(const TForm& form, const std::string& name);

/// Runs the message loop until `done` holds or `timeout_ms` has passed; returns
/// whether `done` held.
bool SpinUntil(const std::function<bool()>& done, int timeout_ms = 5000);

}  // namespace kestrova::ui::testing
