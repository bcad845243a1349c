// Pictures of windows, for reviewing them without a screen.
#pragma once

#include <string>

namespace kestrova::ui {

class TForm;

/// Renders the client area of `form` with its controls as they look now into a PNG
/// file. Returns whether the file was written.
bool SaveScreenshot(const TForm& form, const std::string& png_path);

}  // namespace kestrova::ui
