#include <windows.h>

#include <string>
#include <vector>

#include "ui/credentials_dialog.h"
#include "ui/win32/native_control_win32.h"

namespace kestrova::ui {
namespace {

constexpr WORD kQuestionId = 100;
constexpr WORD kUserNameId = 101;
constexpr WORD kPasswordId = 102;
constexpr WORD kStaticClass = 0x0082;
constexpr WORD kEditClass = 0x0081;
constexpr WORD kButtonClass = 0x0080;

/// A dialog template built in memory, as resource compilers lay it out: the
/// dialog's header, then each control's, every item aligned to four bytes.
class DialogTemplate {
 public:
  DialogTemplate(const std::wstring& caption, short width, short height) {
    Align();
    const DWORD style = DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    AddDword(style);
    AddDword(0);
    count_at_ = words_.size();
    words_.push_back(0);
    AddShorts({0, 0, width, height});
    words_.push_back(0);  // no menu
    words_.push_back(0);  // the standard dialog class
    AddText(caption);
    words_.push_back(8);
    AddText(L"MS Shell Dlg");
  }

  void AddControl(WORD window_class, WORD id, DWORD style, short x, short y, short cx, short cy,
                  const std::wstring& text) {
    Align();
    AddDword(style | WS_CHILD | WS_VISIBLE);
    AddDword(0);
    AddShorts({x, y, cx, cy});
    words_.push_back(id);
    words_.push_back(0xFFFF);
    words_.push_back(window_class);
    AddText(text);
    words_.push_back(0);  // no creation data
    ++words_[count_at_];
  }

  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Align() {
    if (words_.size() % 2) words_.push_back(0);
  }
  void AddDword(DWORD value) {
    words_.push_back(LOWORD(value));
    words_.push_back(HIWORD(value));
  }
  void AddShorts(std::initializer_list<short> values) {
    for (short value : values) words_.push_back(static_cast<WORD>(value));
  }
  void AddText(const std::wstring& text) {
    words_.insert(words_.end(), text.begin(), text.end());
    words_.push_back(0);
  }

  std::vector<WORD> words_;  // a vector of WORD starts DWORD-aligned
  size_t count_at_ = 0;
};

struct Answer {
  std::wstring question;
  std::wstring user_name;
  std::wstring password;
};

std::wstring ItemText(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
  return text;
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    auto* answer = reinterpret_cast<Answer*>(lparam);
    SetWindowLongPtrW(dialog, DWLP_USER, lparam);
    SetDlgItemTextW(dialog, kQuestionId, answer->question.c_str());
    SetDlgItemTextW(dialog, kUserNameId, answer->user_name.c_str());
    SetDlgItemTextW(dialog, kPasswordId, answer->password.c_str());
    // The download dialog stays on top, so the question must too.
    SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetFocus(GetDlgItem(dialog, kUserNameId));
    return FALSE;
  }
  if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
    if (LOWORD(wparam) == IDOK) {
      auto* answer = reinterpret_cast<Answer*>(GetWindowLongPtrW(dialog, DWLP_USER));
      answer->user_name = ItemText(dialog, kUserNameId);
      answer->password = ItemText(dialog, kPasswordId);
    }
    EndDialog(dialog, LOWORD(wparam));
    return TRUE;
  }
  return FALSE;
}

}  // namespace

bool AskCredentials(TCredentialsAsker asker, const std::string& host, std::string& user_name,
                    std::string& password) {
  DialogTemplate dialog(Wide(CredentialsCaption(asker)), 200, 96);
  dialog.AddControl(kStaticClass, kQuestionId, SS_LEFT | SS_NOPREFIX, 7, 7, 186, 18, L"");
  dialog.AddControl(kStaticClass, 0xFFFF, SS_LEFT, 7, 33, 50, 8, L"User name:");
  dialog.AddControl(kEditClass, kUserNameId, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 60, 31, 133, 12, L"");
  dialog.AddControl(kStaticClass, 0xFFFF, SS_LEFT, 7, 51, 50, 8, L"Password:");
  dialog.AddControl(kEditClass, kPasswordId, ES_AUTOHSCROLL | ES_PASSWORD | WS_BORDER | WS_TABSTOP, 60, 49, 133, 12,
                    L"");
  dialog.AddControl(kButtonClass, IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 87, 73, 50, 14, L"OK");
  dialog.AddControl(kButtonClass, IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 143, 73, 50, 14, L"Cancel");

  Answer answer{Wide(CredentialsQuestion(asker, host)), Wide(user_name), Wide(password)};
  const INT_PTR result = DialogBoxIndirectParamW(ModuleInstance(), dialog.Get(), GetActiveWindow(), DialogProc,
                                                 reinterpret_cast<LPARAM>(&answer));
  if (result != IDOK) return false;
  user_name = Narrow(answer.user_name);
  password = Narrow(answer.password);
  return true;
}

}  // namespace kestrova::ui
