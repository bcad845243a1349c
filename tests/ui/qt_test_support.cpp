#include "qt_test_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <filesystem>

#include "ui/screenshot.h"

namespace kestrova::ui::testing {

std::string ScreenshotDir() {
  const std::filesystem::path dir = std::filesystem::path(KESTROVA_BIN_DIR).parent_path() / "screenshots";
  std::filesystem::create_directories(dir);
  return dir.string();
}

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

bool SpinUntil(const std::function<bool()>& done, int timeout_ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeout_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

}  // namespace kestrova::ui::testing
