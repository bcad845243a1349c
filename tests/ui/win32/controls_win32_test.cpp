// What only the native Windows port shows: keys, system dialogs, the rich-text box's
// own font and the pictures it takes.
#include <gtest/gtest.h>
#include <windows.h>
#include <richedit.h>
#include <zlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "../form_gallery.h"
#include "support/window_driver_win32.h"
#include "ui/application.h"
#include "ui/credentials_dialog.h"
#include "ui/rich_edit.h"
#include "ui/screenshot.h"
#include "ui/win32/native_control_win32.h"
#include "../ui_test_support.h"

namespace kestrova::ui {
namespace {

using kestrova::testing::WindowText;
using testing::Later;
using testing::ScreenshotDir;
using testing::SpinUntil;
using testing::TFormGallery;

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

TEST(RichEdit, TheLogTakesTheBoxsFontNotTheLastDocuments) {
  TFormGallery form;
  form.RichEdit1.Load("{\\rtf1{\\fonttbl{\\f0 Arial;}}\\f0 Release notes}");
  form.RichEdit1.Lines.Clear();
  form.RichEdit1.Lines.Add("Start upgrade");
  EXPECT_NE(FontAtStart(form.RichEdit1), L"Arial");
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
  form.ShowForPicture();
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
