#include "base/wide_text_win32.h"

#include <windows.h>

#include "base/text.h"

namespace kestrova {

std::wstring WideText(std::string_view utf8) {
  const std::u16string utf16 = Utf8ToUtf16(utf8);
  return std::wstring(utf16.begin(), utf16.end());
}

std::string Utf8Text(std::wstring_view wide) {
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

std::string SystemErrorText(uint32_t code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  if (length == 0 || buffer == nullptr) return "System error " + std::to_string(code);
  std::string text = Utf8Text(std::wstring_view(buffer, length));
  LocalFree(buffer);
  return std::string(TrimBlanks(text));
}

std::string LastErrorText() { return SystemErrorText(GetLastError()); }

}  // namespace kestrova
