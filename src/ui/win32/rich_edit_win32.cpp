#include <windows.h>
#include <richedit.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ui/rich_edit.h"
#include "ui/rtf_reader.h"
#include "ui/win32/native_control_win32.h"

namespace kestrova::ui {
namespace {

// The newest rich-edit control the system has: version 4.1 from Msftedit.dll, or
// 2.0/3.0 from Riched20.dll. The library stays loaded for the process.
const wchar_t* RichEditClass() {
  static const wchar_t* const name = [] {
    if (LoadLibraryW(L"Msftedit.dll")) return L"RICHEDIT50W";
    LoadLibraryW(L"Riched20.dll");
    return L"RichEdit20W";
  }();
  return name;
}

struct StreamSource {
  std::string_view bytes;
  size_t offset = 0;
};

DWORD CALLBACK ReadStream(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given) {
  auto* source = reinterpret_cast<StreamSource*>(cookie);
  const size_t count = std::min(static_cast<size_t>(wanted), source->bytes.size() - source->offset);
  std::copy_n(source->bytes.data() + source->offset, count, buffer);
  source->offset += count;
  *given = static_cast<LONG>(count);
  return 0;
}

/// The system's rich-edit control: it reads RTF itself. Paragraphs end in "\r"
/// inside the control. It is given no OLE callback, so objects embedded in a
/// document from a server are dropped rather than created.
class RichEditWindow : public NativeControl {
 public:
  explicit RichEditWindow(NativeControl* parent) : NativeControl(parent) {
    CreateChild(RichEditClass(), ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ES_NOHIDESEL | WS_TABSTOP | WS_BORDER);
    SendMessageW(Handle(), EM_SETTEXTMODE, TM_RICHTEXT, 0);
  }

  bool TakesFocus() const override { return true; }
  bool KeepsEnterAndEscape() const override { return true; }
  void ColorChanged() override {
    SendMessageW(Handle(), EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(ToColorRef(*color)));
  }

  bool plain_text = false;

  /// Empties the box and drops the formatting that loaded RTF left: text added
  /// after that takes the box's own font, as the log lines expect.
  void Empty() {
    SetWindowTextW(Handle(), L"");
    SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle()), FALSE);
  }

  bool StreamRtf(std::string_view body) {
    StreamSource source{body};
    EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&source), 0, ReadStream};
    SendMessageW(Handle(), EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    return stream.dwError == 0;
  }

  void SetPlain(std::string_view body) {
    std::wstring text;
    for (wchar_t c : Wide(body)) {
      if (c != L'\r') text += c;  // "\r\n" and "\n" both end one paragraph
    }
    SetWindowTextW(Handle(), text.c_str());
  }

  std::wstring WideText() const {
    GETTEXTLENGTHEX length_query{GTL_NUMCHARS | GTL_PRECISE, 1200};
    const auto length = SendMessageW(Handle(), EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length_query), 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GETTEXTEX query{};
    query.cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    query.flags = GT_DEFAULT;
    query.codepage = 1200;  // UTF-16
    const auto copied = SendMessageW(Handle(), EM_GETTEXTEX, reinterpret_cast<WPARAM>(&query),
                                     reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(copied));
    return text;
  }

  /// Paragraphs as the control holds them, without their end marks.
  std::vector<std::wstring> Paragraphs() const {
    const std::wstring text = WideText();
    std::vector<std::wstring> paragraphs;
    if (text.empty()) return paragraphs;
    size_t start = 0;
    while (true) {
      const size_t end = text.find_first_of(L"\r\n", start);
      paragraphs.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
      if (end == std::wstring::npos) break;
      start = end + ((text[end] == L'\r' && end + 1 < text.size() && text[end + 1] == L'\n') ? 2 : 1);
    }
    return paragraphs;
  }

  void Replace(LONG from, LONG to, const std::wstring& text) {
    CHARRANGE range{from, to};
    SendMessageW(Handle(), EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    SendMessageW(Handle(), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  }

  LONG Length() const {
    GETTEXTLENGTHEX query{GTL_NUMCHARS | GTL_PRECISE, 1200};
    return static_cast<LONG>(SendMessageW(Handle(), EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query), 0));
  }
};

RichEditWindow& Edit(const TRichEdit& box) { return static_cast<RichEditWindow&>(box.Native()); }

}  // namespace

TRichEdit::TRichEdit(TWinControl& parent) : TControl(std::make_unique<RichEditWindow>(ParentNative(parent))) {}

void TRichEdit::SetReadOnly(bool read_only) { SendMessageW(Native().Handle(), EM_SETREADONLY, read_only, 0); }

void TRichEdit::SetScrollBars(TScrollStyle bars) {
  HWND hwnd = Native().Handle();
  LONG style = GetWindowLongW(hwnd, GWL_STYLE) & ~(WS_VSCROLL | WS_HSCROLL | ES_AUTOHSCROLL | ES_DISABLENOSCROLL);
  if (bars != TScrollStyle::None) style |= WS_VSCROLL | ES_DISABLENOSCROLL;
  if (bars == TScrollStyle::Both) style |= WS_HSCROLL | ES_AUTOHSCROLL;
  SetWindowLongW(hwnd, GWL_STYLE, style);
  // Shown always, as the vocabulary promises, not only when the text overflows.
  SendMessageW(hwnd, EM_SHOWSCROLLBAR, SB_VERT, bars != TScrollStyle::None);
  SendMessageW(hwnd, EM_SHOWSCROLLBAR, SB_HORZ, bars == TScrollStyle::Both);
  ShowScrollBar(hwnd, SB_VERT, bars != TScrollStyle::None);
  ShowScrollBar(hwnd, SB_HORZ, bars == TScrollStyle::Both);
  SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TRichEdit::SetHideSelection(bool hide) {
  SendMessageW(Native().Handle(), EM_HIDESELECTION, hide, 0);
  HWND hwnd = Native().Handle();
  const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  SetWindowLongW(hwnd, GWL_STYLE, hide ? (style & ~ES_NOHIDESEL) : (style | ES_NOHIDESEL));
}

void TRichEdit::SetPlainText(bool plain) { Edit(*this).plain_text = plain; }

bool TRichEdit::PlainText() const { return Edit(*this).plain_text; }

bool TRichEdit::Load(std::string_view body) {
  RichEditWindow& edit = Edit(*this);
  edit.Empty();
  if (!edit.plain_text && IsRtf(body)) {
    if (edit.StreamRtf(body)) return true;
    edit.Empty();  // nothing of a document the control gave up on stays
  }
  edit.SetPlain(body);
  return false;
}

std::string TRichEdit::Text() const {
  const std::vector<std::wstring> paragraphs = Edit(*this).Paragraphs();
  std::wstring joined;
  for (size_t i = 0; i < paragraphs.size(); ++i) {
    if (i > 0) joined += L'\n';
    joined += paragraphs[i];
  }
  return Narrow(joined);
}

int TRichEditLines::Count() const { return static_cast<int>(Edit(owner_).Paragraphs().size()); }

std::string TRichEditLines::operator[](int index) const {
  const std::vector<std::wstring> paragraphs = Edit(owner_).Paragraphs();
  if (index < 0 || static_cast<size_t>(index) >= paragraphs.size()) return std::string();
  return Narrow(paragraphs[static_cast<size_t>(index)]);
}

void TRichEditLines::Add(const std::string& line) {
  RichEditWindow& edit = Edit(owner_);
  const LONG end = edit.Length();
  edit.Replace(end, end, (end > 0 ? L"\r" : L"") + Wide(line));
}

void TRichEditLines::Set(int index, const std::string& line) {
  RichEditWindow& edit = Edit(owner_);
  const std::vector<std::wstring> paragraphs = edit.Paragraphs();
  if (index < 0 || static_cast<size_t>(index) >= paragraphs.size()) return;
  // Inside the control every paragraph ends in one character.
  LONG start = 0;
  for (int i = 0; i < index; ++i) start += static_cast<LONG>(paragraphs[static_cast<size_t>(i)].size()) + 1;
  edit.Replace(start, start + static_cast<LONG>(paragraphs[static_cast<size_t>(index)].size()), Wide(line));
}

void TRichEditLines::Clear() { Edit(owner_).Empty(); }

}  // namespace kestrova::ui
