// What only the Qt port shows: its widgets behind the vocabulary, and the display
// it is given.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTextEdit>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <stdexcept>
#include <thread>

#include "form_gallery.h"
#include "qt_test_support.h"
#include "ui/application.h"
#include "ui/qt/native_control.h"
#include "ui/rich_edit.h"

namespace kestrova::ui {
namespace {

using testing::SaveFormScreenshot;
using testing::SpinUntil;
using testing::TFormGallery;

// Presses a key where the user would: at the focused widget, from which Qt passes
// keys that it does not take on to its parents.
void PressKey(const TForm& form, int key) {
  QWidget* window = form.Native().Widget();
  QWidget* target = window->focusWidget() ? window->focusWidget() : window;
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(target, &press);
}

QTextEdit* TextEdit(const TRichEdit& box) { return box.Native().As<QTextEdit>(); }

TEST(Form, ErrorEscapingAHandlerIsReportedAndTheWindowStays) {
  TFormGallery form;
  form.BitBtnOk.OnClick = [] { throw std::runtime_error("Cannot create file x.zip"); };
  std::string reported;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  std::function<void()> answer = [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) {
      QTimer::singleShot(10, answer);
      return;
    }
    reported = box->text().toStdString();
    icon = box->icon();
    box->button(QMessageBox::Ok)->click();
  };
  QTimer::singleShot(0, [&] {
    form.BitBtnOk.Click();  // reports, then goes on
    answer = nullptr;
    form.BitBtnCancel.Click();
  });
  QTimer::singleShot(5, answer);
  EXPECT_EQ(form.ShowModal(), TModalResult::Cancel) << "the failed click did not end the modal display";
  EXPECT_EQ(reported, "Cannot create file x.zip.");
  EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST(Button, EnterAndEscapePressTheDefaultAndCancelButtons) {
  TFormGallery form;
  form.Show();
  ASSERT_TRUE(SpinUntil([&] { return form.activations > 0; }));
  ASSERT_TRUE(form.RichEdit1.Focused()) << "the first in tab order has the focus";

  // The rich-text box takes both keys itself.
  PressKey(form, Qt::Key_Return);
  PressKey(form, Qt::Key_Escape);
  EXPECT_EQ(form.ok_clicks + form.cancel_clicks, 0);

  form.Native().Widget()->setFocus();  // no control takes the keys
  PressKey(form, Qt::Key_Return);
  EXPECT_EQ(form.ok_clicks, 1);
  PressKey(form, Qt::Key_Escape);
  EXPECT_EQ(form.cancel_clicks, 1);

  form.BitBtnCancel.SetFocus();
  PressKey(form, Qt::Key_Return);
  EXPECT_EQ(form.cancel_clicks, 2) << "Enter on a focused button presses that button";

  form.Native().Widget()->setFocus();
  form.BitBtnOk.SetVisible(false);
  form.BitBtnCancel.SetEnabled(false);
  PressKey(form, Qt::Key_Return);
  PressKey(form, Qt::Key_Escape);
  EXPECT_EQ(form.ok_clicks, 1) << "hidden buttons are not pressed";
  EXPECT_EQ(form.cancel_clicks, 2) << "disabled buttons are not pressed";
  form.Close();
}

TEST(Button, OkAndCancelKindsShowTheirGlyph) {
  TFormGallery form;
  EXPECT_FALSE(form.BitBtnOk.Native().As<QAbstractButton>()->icon().isNull());
  EXPECT_FALSE(form.BitBtnCancel.Native().As<QAbstractButton>()->icon().isNull());
}

TEST(RichEdit, RtfFormattingReachesTheText) {
  TFormGallery form;
  QTextEdit* edit = TextEdit(form.RichEdit1);
  EXPECT_TRUE(form.RichEdit1.Load("{\\rtf1{\\colortbl;\\red200\\green0\\blue0;}Plain \\b bold\\b0  \\i it\\i0  "
                                  "\\cf1 red\\cf0\\par\\fs40 big}"));
  auto format_at = [&](const QString& word) {
    QTextCursor cursor = edit->document()->find(word);
    return cursor.charFormat();
  };
  EXPECT_EQ(format_at("bold").fontWeight(), QFont::Bold);
  EXPECT_EQ(format_at("Plain").fontWeight(), QFont::Normal);
  EXPECT_TRUE(format_at("it").fontItalic());
  EXPECT_EQ(format_at("red").foreground().color(), QColor(200, 0, 0));
  EXPECT_DOUBLE_EQ(format_at("big").fontPointSize(), 20.0);
}

// A listening socket where an X server of a free display number would be, which
// either never answers a client or hangs up on it at once.
class FakeXServer {
 public:
  explicit FakeXServer(bool hang_up) {
    ::mkdir("/tmp/.X11-unix", 01777);
    for (number_ = 4800 + ::getpid() % 100;; ++number_) {
      path_ = "/tmp/.X11-unix/X" + std::to_string(number_);
      if (::access(path_.c_str(), F_OK) != 0) break;
    }
    socket_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(socket_, 8) != 0) {
      throw std::runtime_error("cannot listen at " + path_);
    }
    if (hang_up) {
      acceptor_ = std::thread([this] {
        for (int client; (client = ::accept(socket_, nullptr, nullptr)) >= 0;) ::close(client);
      });
    }
  }
  ~FakeXServer() {
    ::shutdown(socket_, SHUT_RDWR);
    if (acceptor_.joinable()) acceptor_.join();
    ::close(socket_);
    ::unlink(path_.c_str());
  }
  std::string Display() const { return ":" + std::to_string(number_); }

 private:
  int number_ = 0;
  std::string path_;
  int socket_ = -1;
  std::thread acceptor_;
};

TEST(Application, DisplayIsFoundWithoutAskingQt) {
  struct SavedVariable {
    const char* name;
    std::optional<std::string> value;
    explicit SavedVariable(const char* n) : name(n) {
      if (const char* v = std::getenv(n)) value = v;
    }
    ~SavedVariable() {
      if (value) {
        setenv(name, value->c_str(), 1);
      } else {
        unsetenv(name);
      }
    }
  };
  SavedVariable platform("QT_QPA_PLATFORM"), display("DISPLAY"), wayland("WAYLAND_DISPLAY");
  unsetenv("QT_QPA_PLATFORM");
  unsetenv("WAYLAND_DISPLAY");
  unsetenv("DISPLAY");
  EXPECT_FALSE(CanOpenDisplay());
  setenv("DISPLAY", ":4711", 1);  // no X server there
  EXPECT_FALSE(CanOpenDisplay());
  setenv("DISPLAY", "nonsense", 1);
  EXPECT_FALSE(CanOpenDisplay());
  setenv("WAYLAND_DISPLAY", "/nonexistent/wayland-9", 1);
  EXPECT_FALSE(CanOpenDisplay());
  unsetenv("WAYLAND_DISPLAY");
  // X servers that take the connection but could not serve the toolkit: one that
  // never answers its setup, one that hangs up at once.
  for (const bool hang_up : {false, true}) {
    FakeXServer server(hang_up);
    setenv("DISPLAY", server.Display().c_str(), 1);
    EXPECT_FALSE(CanOpenDisplay()) << (hang_up ? "hangs up" : "never answers");
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  EXPECT_TRUE(CanOpenDisplay()) << "a forced platform is taken as it is";
}

TEST(Screenshots, GalleryOfControls) {
  TFormGallery form;
  form.ShowForPicture();
  const QImage image = SaveFormScreenshot(form, "gallery");
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(400, 290));
  // The value label is opaque white; the window around it keeps its own colour.
  EXPECT_EQ(image.pixelColor(form.LabelValue.Left() + 2, form.LabelValue.Top() + 16), QColor(Qt::white));
  EXPECT_EQ(image.pixelColor(200, 247), QColor(174, 191, 236));
  form.Close();
}

}  // namespace
}  // namespace kestrova::ui
