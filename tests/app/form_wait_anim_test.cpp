#include "app/form_wait_anim.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "base/threads.h"
#include "ui/application.h"
#include "ui/qt/native_control.h"
#include "ui/qt_test_support.h"
#include "ui/timer.h"

namespace kestrova {
namespace {

using ui::testing::SaveFormScreenshot;

const QColor kBackground(191, 205, 240);

class SleepingWorker : public TThread {
 public:
  explicit SleepingWorker(Key key) : TThread(key) {}

 protected:
  void Execute() override { std::this_thread::sleep_for(std::chrono::seconds(1)); }
};

TEST(FormWaitAnim, BorderlessOnTopCentredWithItsColours) {
  TFormWaitAnim form;
  form.Show();
  const QWidget* window = form.Native().Widget();
  EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_DOUBLE_EQ(window->windowOpacity(), 1.0);
  EXPECT_EQ(form.ClientWidth(), 173);
  EXPECT_EQ(form.ClientHeight(), 27);
  EXPECT_EQ(form.Width(), 173) << "no frame around the client area";
  const ui::TRect desktop = ui::DesktopRect();
  EXPECT_EQ(form.Left(), desktop.left + (desktop.width - 173) / 2);
  EXPECT_EQ(form.Top(), desktop.top + (desktop.height - 27) / 2);
  EXPECT_EQ(form.Animate1.BoundsRect(), (ui::TRect{1, 1, 171, 25})) << "the panel's frame is one pixel";
  EXPECT_EQ(form.Animate1.FrameCount(), 12);
  EXPECT_EQ(form.Animate1.FrameWidth(), 160);
  EXPECT_TRUE(form.Animate1.Active());

  const QImage image = SaveFormScreenshot(form, "wait_window");
  ASSERT_EQ(image.size(), QSize(173, 27));
  EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::black)) << "the panel's single-line frame";
  EXPECT_EQ(image.pixelColor(172, 26), QColor(Qt::black));
  // Inside the frame, around the centred 160 x 11 clip, the window's colour shows.
  EXPECT_EQ(image.pixelColor(3, 3), kBackground);
  EXPECT_EQ(image.pixelColor(86, 4), kBackground);
  EXPECT_EQ(image.pixelColor(86, 22), kBackground);
  EXPECT_NE(image.pixelColor(86, 13), kBackground) << "the strip in the middle";
  form.Close();
}

TEST(FormWaitAnim, StripMovesWhileTheGuiThreadWaitsForAWorker) {
  TFormWaitAnim form;
  form.Show();
  // Pictures of the window taken by a timer while the GUI thread waits: the strip
  // must be drawn anew, not only counted on.
  std::set<QByteArray> pictures;
  ui::TTimer camera;
  camera.SetInterval(40);
  camera.OnTimer = [&] {
    const QImage image = form.Native().Widget()->grab().toImage();
    pictures.insert(QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes()));
  };
  camera.SetEnabled(true);

  const uint64_t start = form.Animate1.FramesAdvanced();
  {
    auto worker = TThread::Create<SleepingWorker>();
    worker->Start();
    worker->WaitFor();
  }
  const uint64_t after_thread = form.Animate1.FramesAdvanced();
  // 12 frames a second; leave room for a busy machine.
  EXPECT_GE(after_thread - start, 6u);

  std::atomic<bool> done{false};
  std::thread sleeper([&] {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    done = true;
    GuiThread::Notify();
  });
  GuiThread::WaitUntil([&] { return done.load(); });
  sleeper.join();
  EXPECT_GE(form.Animate1.FramesAdvanced() - after_thread, 6u);

  camera.SetEnabled(false);
  EXPECT_GE(pictures.size(), 6u) << "different pictures of the strip during the waits";
  form.Close();
}

}  // namespace
}  // namespace kestrova
