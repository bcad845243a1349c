// The Qt port driven through the vocabulary, as the forms use it.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <functional>
#include <stdexcept>
#include <thread>

#include "base/threads.h"
#include "qt_test_support.h"
#include "ui/animate.h"
#include "ui/application.h"
#include "ui/button.h"
#include "ui/form.h"
#include "ui/gauge.h"
#include "ui/label.h"
#include "ui/panel.h"
#include "ui/qt/native_control.h"
#include "ui/rich_edit.h"
#include "ui/timer.h"

namespace kestrova::ui {
namespace {

using testing::SaveFormScreenshot;
using testing::SpinUntil;

/// A dialog with one control of each kind, laid out like the program's windows.
class TFormGallery : public TForm {
 public:
  TFormGallery() {
    SetCaption(" Gallery of controls");
    SetClientSize(400, 290);
    SetBorderStyle(TFormBorderStyle::ToolWindow);
    SetBorderIcons(biNone);
    SetPosition(TPosition::DesktopCenter);
    SetColor(TColor::FromBgr(15515566));
    SetFont(TFont{"MS Sans Serif", 11});

    Panel1.SetBounds(0, 0, 400, 70);
    Panel1.SetAlign(TAlign::Top);
    Panel1.SetBorderStyle(TPanelBorder::Single);
    Panel1.SetBorderWidth(1);
    Panel1.SetColor(TColor::Rgb(191, 205, 240));
    Label1.SetBounds(10, 14, 90, 16);
    Label1.SetCaption("Application:");
    Label1.SetAlignment(TAlignment::RightJustify);
    Label1.SetFont(TFont{"MS Sans Serif", 13, true});
    LabelValue.SetBounds(110, 13, 150, 18);
    LabelValue.SetCaption("Kestrova Demo");
    LabelValue.SetAlignment(TAlignment::Center);
    LabelValue.SetColor(clWhite);
    LabelValue.SetFont(TFont{"MS Sans Serif", 13});
    Wheel.SetBounds(331, 1, 66, 66);
    Wheel.SetColor(clBlack);
    Wheel.SetBorderWidth(1);

    Gauge1.SetBounds(16, 80, 328, 12);
    Gauge1.SetForeColor(clAqua);
    Gauge1.SetShowText(false);
    Gauge1.SetProgress(40);
    RichEdit1.SetBounds(16, 100, 368, 140);
    RichEdit1.SetReadOnly(true);
    RichEdit1.SetScrollBars(TScrollStyle::Vertical);
    RichEdit1.SetFont(TFont{"Fixedsys", 12});
    RichEdit1.SetTabOrder(0);
    BitBtnOk.SetBounds(16, 254, 106, 25);
    BitBtnOk.SetKind(TBitBtnKind::Ok);
    BitBtnOk.SetCaption("Update now");
    BitBtnOk.SetFont(TFont{"MS Sans Serif", 11, true});
    BitBtnOk.SetCursor(TCursor::HandPoint);
    BitBtnOk.SetTabOrder(1);
    BitBtnCancel.SetBounds(306, 254, 78, 25);
    BitBtnCancel.SetKind(TBitBtnKind::Cancel);
    BitBtnCancel.SetCaption("Later...");
    BitBtnCancel.SetFont(TFont{"MS Sans Serif", 11, true});
    BitBtnCancel.SetTabOrder(2);

    BitBtnOk.OnClick = [this] { ++ok_clicks; };
    BitBtnCancel.OnClick = [this] { ++cancel_clicks; };
    OnClose = [this] { ++closes; };
    OnActivate = [this] { ++activations; };
    Wheel.SetResName("wheel");
  }

  TPanel Panel1{*this};
  TLabel Label1{Panel1};
  TLabel LabelValue{Panel1};
  TAnimate Wheel{Panel1};
  TGauge Gauge1{*this};
  TRichEdit RichEdit1{*this};
  TBitBtn BitBtnOk{*this};
  TBitBtn BitBtnCancel{*this};

  int ok_clicks = 0;
  int cancel_clicks = 0;
  int closes = 0;
  int activations = 0;
};

// Presses a key where the user would: at the focused widget, from which Qt passes
// keys that it does not take on to its parents.
void PressKey(const TForm& form, int key) {
  QWidget* window = form.Native().Widget();
  QWidget* target = window->focusWidget() ? window->focusWidget() : window;
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(target, &press);
}

QTextEdit* TextEdit(const TRichEdit& box) { return box.Native().As<QTextEdit>(); }

TEST(Form, ModalLoopEndsWithTheClickedButtonsResult) {
  TFormGallery form;
  QTimer::singleShot(0, [&] { form.BitBtnOk.Click(); });
  EXPECT_EQ(form.ShowModal(), TModalResult::Ok);
  EXPECT_EQ(form.ok_clicks, 1);
  EXPECT_EQ(form.closes, 1) << "ending by a modal result closes the window";
  EXPECT_FALSE(form.Visible());

  QTimer::singleShot(0, [&] { form.Close(); });
  EXPECT_EQ(form.ShowModal(), TModalResult::Cancel) << "closing a modal window cancels it";
  EXPECT_EQ(form.closes, 2);
}

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

TEST(Form, ActivationRunsTheHandlerFromTheLoop) {
  TFormGallery form;
  form.Show();
  EXPECT_TRUE(SpinUntil([&] { return form.activations > 0; }));
  form.Close();
}

TEST(Form, PlacedAtTheCentreWithItsClientSize) {
  TFormGallery form;
  form.Show();
  const TRect desktop = DesktopRect();
  EXPECT_EQ(form.ClientWidth(), 400);
  EXPECT_EQ(form.ClientHeight(), 290);
  EXPECT_EQ(form.Left(), desktop.left + (desktop.width - form.Width()) / 2);
  EXPECT_EQ(form.Top(), desktop.top + (desktop.height - form.Height()) / 2);
  EXPECT_EQ(form.Panel1.Width(), 400) << "aligned to the top, as wide as the window";
  form.Close();
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

TEST(Button, KindsBringCaptionGlyphAndResult) {
  TFormGallery form;
  TBitBtn plain(form);
  plain.SetKind(TBitBtnKind::Ok);
  EXPECT_EQ(plain.Caption(), "OK");
  EXPECT_TRUE(plain.Default());
  EXPECT_EQ(plain.ModalResult(), TModalResult::Ok);
  EXPECT_FALSE(plain.Native().As<QAbstractButton>()->icon().isNull());
  EXPECT_TRUE(form.BitBtnCancel.Cancel());
  EXPECT_EQ(form.BitBtnCancel.Caption(), "Later...");
  EXPECT_EQ(form.BitBtnCancel.ModalResult(), TModalResult::Cancel);
}

TEST(RichEdit, LinesAreParagraphsReplacedInPlace) {
  TFormGallery form;
  TRichEditLines& lines = form.RichEdit1.Lines;
  EXPECT_EQ(lines.Count(), 0);
  lines.Add("Start upgrade");
  lines.Add("Get action list ...");
  ASSERT_EQ(lines.Count(), 2);
  lines.Set(1, lines[1] + std::string(26, ' ') + ": Done");
  lines.Add("Download release ...");
  EXPECT_EQ(lines.Count(), 3);
  EXPECT_EQ(lines[0], "Start upgrade");
  EXPECT_EQ(lines[1], "Get action list ...                          : Done");
  EXPECT_EQ(lines[2], "Download release ...");
  lines.Set(7, "out of range");
  EXPECT_EQ(lines.Count(), 3);
  lines.Clear();
  EXPECT_EQ(lines.Count(), 0);
}

TEST(RichEdit, LoadsRtfWithFormattingAndOtherTextPlain) {
  TFormGallery form;
  QTextEdit* edit = TextEdit(form.RichEdit1);
  EXPECT_TRUE(form.RichEdit1.Load("{\\rtf1{\\colortbl;\\red200\\green0\\blue0;}Plain \\b bold\\b0  \\i it\\i0  "
                                  "\\cf1 red\\cf0\\par\\fs40 big}"));
  EXPECT_EQ(form.RichEdit1.Text(), "Plain bold it red\nbig");
  EXPECT_EQ(form.RichEdit1.Lines.Count(), 2);
  auto format_at = [&](const QString& word) {
    QTextCursor cursor = edit->document()->find(word);
    return cursor.charFormat();
  };
  EXPECT_EQ(format_at("bold").fontWeight(), QFont::Bold);
  EXPECT_EQ(format_at("Plain").fontWeight(), QFont::Normal);
  EXPECT_TRUE(format_at("it").fontItalic());
  EXPECT_EQ(format_at("red").foreground().color(), QColor(200, 0, 0));
  EXPECT_DOUBLE_EQ(format_at("big").fontPointSize(), 20.0);

  EXPECT_FALSE(form.RichEdit1.Load("Version 2.1\nno formatting {\\b here}"));
  EXPECT_EQ(form.RichEdit1.Text(), "Version 2.1\nno formatting {\\b here}");

  form.RichEdit1.SetPlainText(true);
  EXPECT_FALSE(form.RichEdit1.Load("{\\rtf1 \\b x}"));
  EXPECT_EQ(form.RichEdit1.Text(), "{\\rtf1 \\b x}") << "plain mode shows RTF as it is";
}

TEST(Gauge, KeepsProgressInRangeAndTruncatesThePercentage) {
  TFormGallery form;
  TGauge& gauge = form.Gauge1;
  gauge.SetMaxValue(3);
  gauge.SetProgress(2);
  EXPECT_EQ(gauge.PercentDone(), 66);
  gauge.SetProgress(7);
  EXPECT_EQ(gauge.Progress(), 3);
  EXPECT_EQ(gauge.PercentDone(), 100);
  gauge.SetMaxValue(0);
  EXPECT_EQ(gauge.PercentDone(), 0);
  gauge.SetMaxValue(2000000000);
  gauge.SetProgress(1999999999);
  EXPECT_EQ(gauge.PercentDone(), 99) << "no overflow on large sizes";
}

TEST(Timer, FiresWhileEnabledOnly) {
  TTimer timer;
  int ticks = 0;
  timer.SetInterval(20);
  timer.OnTimer = [&] {
    if (++ticks == 3) timer.SetEnabled(false);
  };
  EXPECT_FALSE(timer.Enabled());
  timer.SetEnabled(true);
  EXPECT_TRUE(SpinUntil([&] { return ticks >= 3; }));
  SpinUntil([] { return false; }, 100);
  EXPECT_EQ(ticks, 3);
}

TEST(HandOver, WorkerCallsRunFromTheMessageLoop) {
  // The GUI thread is in the toolkit's loop, not waiting for the worker: only the
  // port's wake-up gets the call run.
  std::atomic<bool> ran_on_gui_thread{false};
  std::thread worker([&] { GuiThread::Synchronize([&] { ran_on_gui_thread = GuiThread::IsCurrent(); }); });
  EXPECT_TRUE(SpinUntil([&] { return ran_on_gui_thread.load(); }));
  worker.join();
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

TEST(Application, ScreenCursorIsSetAndReset) {
  SetScreenCursor(TCursor::AppStart);
  EXPECT_EQ(ScreenCursor(), TCursor::AppStart);
  SetScreenCursor(TCursor::Arrow);
  EXPECT_EQ(ScreenCursor(), TCursor::Arrow);
  SetScreenCursor(TCursor::Default);
  EXPECT_EQ(ScreenCursor(), TCursor::Default);
}

TEST(Screenshots, GalleryOfControls) {
  TFormGallery form;
  form.RichEdit1.Load(
      "{\\rtf1{\\colortbl;\\red200\\green0\\blue0;\\red0\\green96\\blue0;}\\b Release 2.1\\b0\\par "
      "This release brings \\i faster downloads\\i0  and a \\cf1\\b new\\cf0\\b0  look.\\par"
      "\\cf2\\ul Green underlined\\ulnone\\cf0\\par}");
  form.Wheel.SetActive(true);
  form.Show();
  form.Repaint();
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
