// What the tests of the Qt port add to the portable support: pictures as Qt images.
#pragma once

#include <QImage>
#include <string>

#include "ui/form.h"
#include "ui_test_support.h"

namespace kestrova::ui::testing {

/// Saves `form` as <build>/screenshots/<name>.png and returns the picture.
QImage SaveFormScreenshot(const TForm& form, const std::string& name);

}  // namespace kestrova::ui::testing
