#include <QPixmap>

#include "ui/form.h"
#include "ui/qt/native_control.h"
#include "ui/screenshot.h"

namespace kestrova::ui {

bool SaveScreenshot(const TForm& form, const std::string& png_path) {
  const QPixmap picture = form.Native().Widget()->grab();
  return !picture.isNull() && picture.save(QString::fromStdString(png_path), "PNG");
}

}  // namespace kestrova::ui
