// The native Windows port driven through the vocabulary, as the forms use it.
#include <gtest/gtest.h>
#include <windows.h>
#include <richedit.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "base/threads.h"
#include "ui/animate.h"
#include "ui/application.h"
#include "ui/button.h"
#include "ui/credentials_dialog.h"
#include "ui/form.h"
#include "ui/gauge.h"
#include "ui/label.h"
#include "ui/panel.h"
#include "ui/rich_edit.h"
#include "ui/screenshot.h"
#include "ui/timer.h"
#include "ui/win32/native_control_win32.h"

namespace kestrova::ui {
namespace {

class ApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { application_ = std::make_unique<TApplication>(argc_, argv_); }
  void TearDown() override { application_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "kestrova-tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<TApplication> application_;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

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

bool SpinUntil(const std::function<bool()>& done, int timeout_ms = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    ProcessMessages();
    Sleep(1);
  }
  return true;
}

// Runs `action` from the message loop once the loop that the test starts next runs.
class Later {
 public:
  Later(int delay_ms, std::function<void()> action) : action_(std::move(action)) {
    timer_.SetInterval(delay_ms);
    timer_.OnTimer = [this] {
      timer_.SetEnabled(false);
      action_();
    };
    timer_.SetEnabled(true);
  }

 private:
  TTimer timer_;
  std::function<void()> action_;
};

// A key pressed where the user would: at the window with the focus.
void PressKey(WPARAM key) {
  PostMessageW(GetFocus(), WM_KEYDOWN, key, 0);
  ProcessMessages();
}

BOOL CALLBACK FindVisibleDialog(HWND hwnd, LPARAM out) {
  wchar_t name[16] = {};
  GetClassNameW(hwnd, name, 16);
  if (std::wstring(name) != L"#32770" || !IsWindowVisible(hwnd)) return TRUE;
  *reinterpret_cast<HWND*>(out) = hwnd;
  return FALSE;
}

// The system dialog (message box, credentials) the program shows now, or null.
HWND OpenDialog() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindVisibleDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

std::string WindowText(HWND hwnd) {
  wchar_t text[512] = {};
  GetWindowTextW(hwnd, text, 512);
  std::string narrow;
  for (const wchar_t* c = text; *c; ++c) narrow += static_cast<char>(*c);
  return narrow;
}

std::string ScreenshotDir() {
  const std::filesystem::path dir = std::filesystem::path(KESTROVA_BIN_DIR).parent_path() / "screenshots";
  std::filesystem::create_directories(dir);
  return dir.string();
}

/// A PNG file as the port writes it (8-bit RGB, one IDAT, no row filters), read
/// back as 0xRRGGBB pixels.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels.at(static_cast<size_t>(y * width + x)); }
};

Picture ReadPng(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Picture picture;
  if (file.size() < 33 || file.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return picture;
  auto number = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(file[at])) << 24 | static_cast<uint8_t>(file[at + 1]) << 16 |
           static_cast<uint8_t>(file[at + 2]) << 8 | static_cast<uint8_t>(file[at + 3]);
  };
  picture.width = static_cast<int>(number(16));
  picture.height = static_cast<int>(number(20));
  const size_t idat = file.find("IDAT");
  if (idat == std::string::npos) return picture;
  const uint32_t packed_size = number(idat - 4);
  std::vector<uint8_t> raw(static_cast<size_t>(picture.height) * (1 + static_cast<size_t>(picture.width) * 3));
  uLongf raw_size = static_cast<uLongf>(raw.size());
  if (uncompress(raw.data(), &raw_size, reinterpret_cast<const Bytef*>(file.data() + idat + 4), packed_size) != Z_OK) {
    return picture;
  }
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* row = raw.data() + static_cast<size_t>(y) * (1 + static_cast<size_t>(picture.width) * 3) + 1;
    for (int x = 0; x < picture.width; ++x) {
      picture.pixels.push_back(static_cast<uint32_t>(row[3 * x]) << 16 | row[3 * x + 1] << 8 | row[3 * x + 2]);
    }
  }
  return picture;
}

TEST(Form, ModalLoopEndsWithTheClickedButtonsResult) {
  TFormGallery form;
  Later click(1, [&] { form.BitBtnOk.Click(); });
  EXPECT_EQ(form.ShowModal(), TModalResult::Ok);
  EXPECT_EQ(form.ok_clicks, 1);
  EXPECT_EQ(form.closes, 1) << "ending by a modal result closes the window";
  EXPECT_FALSE(form.Visible());

  Later close(1, [&] { form.Close(); });
  EXPECT_EQ(form.ShowModal(), TModalResult::Cancel) << "closing a modal window cancels it";
  EXPECT_EQ(form.closes, 2);
}

TEST(Form, ErrorEscapingAHandlerIsReportedAndTheWindowStays) {
  TFormGallery form;
  form.BitBtnOk.OnClick = [] { throw std::runtime_error("Cannot create file x.zip"); };
  std::string reported;
  TTimer answer;
  answer.SetInterval(5);
  answer.OnTimer = [&] {
    if (HWND box = OpenDialog()) {
      reported = WindowText(GetDlgItem(box, 0xFFFF));
      SendMessageW(box, WM_COMMAND, IDOK, 0);
    }
  };
  Later press(1, [&] {
    answer.SetEnabled(true);
    form.BitBtnOk.Click();  // reports, then goes on
    answer.SetEnabled(false);
    form.BitBtnCancel.Click();
  });
  EXPECT_EQ(form.ShowModal(), TModalResult::Cancel) << "the failed click did not end the modal display";
  EXPECT_EQ(reported, "Cannot create file x.zip.");
}

TEST(Form, ActivatedAndPlacedAtTheCentreWithItsClientSize) {
  TFormGallery form;
  form.Show();
  EXPECT_TRUE(SpinUntil([&] { return form.activations > 0; })) << "activation runs the handler from the loop";
  const TRect desktop = DesktopRect();
  EXPECT_EQ(form.ClientWidth(), 400);
  EXPECT_EQ(form.ClientHeight(), 290);
  EXPECT_EQ(form.Left(), desktop.left + (desktop.width - form.Width()) / 2);
  EXPECT_EQ(form.Top(), desktop.top + (desktop.height - form.Height()) / 2);
  EXPECT_EQ(form.Panel1.Width(), 400) << "aligned to the top, as wide as the window";
  form.SetBorderStyle(TFormBorderStyle::Single);
  EXPECT_EQ(form.ClientWidth(), 400) << "a new frame keeps the client size";
  form.Close();
}

TEST(Button, EnterEscapeAndTabGoToTheFormsButtons) {
  TFormGallery form;
  form.Show();
  ASSERT_TRUE(SpinUntil([&] { return form.activations > 0; }));
  ASSERT_TRUE(form.RichEdit1.Focused()) << "the first in tab order has the focus";

  // The rich-text box takes both keys itself.
  PressKey(VK_RETURN);
  PressKey(VK_ESCAPE);
  EXPECT_EQ(form.ok_clicks + form.cancel_clicks, 0);

  SetFocus(form.Native().Handle());  // no control takes the keys
  PressKey(VK_RETURN);
  EXPECT_EQ(form.ok_clicks, 1);
  PressKey(VK_ESCAPE);
  EXPECT_EQ(form.cancel_clicks, 1);

  form.BitBtnOk.SetFocus();
  PressKey(VK_TAB);
  EXPECT_TRUE(form.BitBtnCancel.Focused()) << "Tab follows the tab order";
  PressKey(VK_RETURN);
  EXPECT_EQ(form.cancel_clicks, 2) << "Enter on a focused button presses that button";

  SetFocus(form.Native().Handle());
  form.BitBtnOk.SetVisible(false);
  form.BitBtnCancel.SetEnabled(false);
  PressKey(VK_RETURN);
  PressKey(VK_ESCAPE);
  EXPECT_EQ(form.ok_clicks, 1) << "hidden buttons are not pressed";
  EXPECT_EQ(form.cancel_clicks, 2) << "disabled buttons are not pressed";
  form.Close();
}

std::wstring FontAtStart(const TRichEdit& box) {
  CHARRANGE start{0, 0};
  SendMessageW(box.Native().Handle(), EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&start));
  CHARFORMAT2W format{};
  format.cbSize = sizeof format;
  SendMessageW(box.Native().Handle(), EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  return format.szFaceName;
}

TEST(RichEdit, LinesAreParagraphsReplacedInPlace) {
  TFormGallery form;
  TRichEditLines& lines = form.RichEdit1.Lines;
  form.RichEdit1.Load("{\\rtf1{\\fonttbl{\\f0 Arial;}}\\f0 Release notes}");
  lines.Clear();
  EXPECT_EQ(lines.Count(), 0);
  lines.Add("Start upgrade");
  lines.Add("Get action list ...");
  lines.Set(1, lines[1] + std::string(26, ' ') + ": Done");
  lines.Add("Download release ...");
  ASSERT_EQ(lines.Count(), 3);
  EXPECT_NE(FontAtStart(form.RichEdit1), L"Arial") << "the log takes the box's font, not the last document's";
  EXPECT_EQ(lines[0], "Start upgrade");
  EXPECT_EQ(lines[1], "Get action list ...                          : Done");
  EXPECT_EQ(lines[2], "Download release ...");
  lines.Set(7, "out of range");
  EXPECT_EQ(lines.Count(), 3);
  lines.Clear();
  EXPECT_EQ(lines.Count(), 0);
}

TEST(RichEdit, LoadsRtfAndOtherTextPlain) {
  TFormGallery form;
  EXPECT_TRUE(form.RichEdit1.Load("{\\rtf1{\\colortbl;\\red200\\green0\\blue0;}Plain \\b bold\\b0  \\cf1 red\\cf0\\par big}"));
  EXPECT_EQ(form.RichEdit1.Text(), "Plain bold red\nbig");
  EXPECT_FALSE(form.RichEdit1.Load("Version 2.1\r\nno formatting {\\b here}"));
  EXPECT_EQ(form.RichEdit1.Text(), "Version 2.1\nno formatting {\\b here}");
  form.RichEdit1.SetPlainText(true);
  EXPECT_FALSE(form.RichEdit1.Load("{\\rtf1 \\b x}"));
  EXPECT_EQ(form.RichEdit1.Text(), "{\\rtf1 \\b x}") << "plain mode shows RTF as it is";
}

TEST(Timer, FiresWhileEnabledOnlyAndAnimationsMoveOn) {
  TFormGallery form;
  TTimer timer;
  int ticks = 0;
  timer.SetInterval(20);
  timer.OnTimer = [&] {
    if (++ticks == 3) timer.SetEnabled(false);
  };
  timer.SetEnabled(true);
  form.Wheel.SetActive(true);
  EXPECT_TRUE(SpinUntil([&] { return ticks >= 3; }));
  SpinUntil([] { return false; }, 100);
  EXPECT_EQ(ticks, 3);
  EXPECT_GT(form.Wheel.FramesAdvanced(), 0u);
}

TEST(HandOver, WorkerCallsRunFromTheMessageLoop) {
  // The GUI thread is in the message loop, not waiting for the worker: only the
  // port's wake-up gets the call run.
  std::atomic<bool> ran_on_gui_thread{false};
  std::thread worker([&] { GuiThread::Synchronize([&] { ran_on_gui_thread = GuiThread::IsCurrent(); }); });
  EXPECT_TRUE(SpinUntil([&] { return ran_on_gui_thread.load(); }));
  worker.join();
}

TEST(Credentials, AnswersComeBackOnOkOnly) {
  struct Case {
    WORD button;
    bool expected;
    std::string user_after;
  };
  for (const Case& c : {Case{IDOK, true, "alice"}, Case{IDCANCEL, false, "bob"}}) {
    std::string user = "bob";
    std::string password;
    std::string question;
    TTimer answer;
    answer.SetInterval(5);
    answer.OnTimer = [&] {
      if (HWND dialog = OpenDialog()) {
        answer.SetEnabled(false);
        question = WindowText(GetDlgItem(dialog, 100));
        SetDlgItemTextW(dialog, 101, L"alice");
        SetDlgItemTextW(dialog, 102, L"secret");
        PostMessageW(dialog, WM_COMMAND, c.button, 0);
      }
    };
    answer.SetEnabled(true);
    EXPECT_EQ(AskCredentials(TCredentialsAsker::Proxy, "proxy.example", user, password), c.expected);
    EXPECT_EQ(question, "The proxy proxy.example asks for a user name and password.");
    EXPECT_EQ(user, c.user_after);
    EXPECT_EQ(password, c.expected ? "secret" : "");
  }
}

TEST(Screenshots, GalleryOfControls) {
  TFormGallery form;
  form.RichEdit1.Load(
      "{\\rtf1{\\colortbl;\\red200\\green0\\blue0;\\red0\\green96\\blue0;}\\b Release 2.1\\b0\\par "
      "This release brings \\i faster downloads\\i0  and a \\cf1\\b new\\cf0\\b0  look.\\par"
      "\\cf2\\ul Green underlined\\ulnone\\cf0\\par}");
  form.Wheel.SetActive(true);
  form.Show();
  SpinUntil([&] { return form.activations > 0; });
  form.Repaint();
  const std::string path = ScreenshotDir() + "/gallery_win32.png";
  ASSERT_TRUE(SaveScreenshot(form, path));
  const Picture picture = ReadPng(path);
  ASSERT_EQ(picture.width, 400);
  ASSERT_EQ(picture.height, 290);
  // The value label is opaque white; the window around it keeps its own colour.
  EXPECT_EQ(picture.At(form.LabelValue.Left() + 2, form.LabelValue.Top() + 16), 0xFFFFFFu);
  EXPECT_EQ(picture.At(200, 247), 0xAEBFECu);
  form.Close();
}

}  // namespace
}  // namespace kestrova::ui
