#include "qt_test_support.h"

#include "ui/screenshot.h"

namespace kestrova::ui::testing {

QImage SaveFormScreenshot(const TForm& form, const std::string& name) {
  const std::string path = ScreenshotDir() + "/" + name + ".png";
  if (!SaveScreenshot(form, path)) return QImage();
  QImage image(QString::fromStdString(path));
  // Small windows are hard to judge at their size; add an enlarged copy.
  if (image.width() < 200) {
    image.scaled(image.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation)
        .save(QString::fromStdString(ScreenshotDir() + "/" + name + "_x4.png"));
  }
  return image;
}

}  // namespace kestrova::ui::testing
