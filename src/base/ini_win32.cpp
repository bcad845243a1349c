// INI files through the Windows profile functions, wide so that every path and
// value is reachable; texts come back as UTF-8.
#include <windows.h>

#include <string>

#include "base/ini.h"
#include "base/text.h"

namespace kestrova {
namespace {

std::wstring Wide(std::string_view text) {
  const std::u16string utf16 = Utf8ToUtf16(text);
  return std::wstring(utf16.begin(), utf16.end());
}

std::string Utf8(std::wstring_view text) {
  return Utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

// The profile functions look for a file named without a folder in the Windows
// folder, so the path is made full against the working folder first.
std::wstring FullPath(const std::string& path) {
  const std::wstring wide = Wide(path);
  const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return wide;
  std::wstring full(size, L'\0');
  const DWORD written = ::GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  if (written == 0 || written >= size) return wide;
  full.resize(written);
  return full;
}

}  // namespace

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
  // One more than the longest text, for the terminating zero: the function cuts
  // what does not fit.
  std::wstring value(kMaxProfileText + 1, L'\0');
  const DWORD length = ::GetPrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(),
                                                  Wide(fallback).c_str(), value.data(),
                                                  DWORD(value.size()), FullPath(path_).c_str());
  value.resize(length);
  return Utf8(value);
}

bool IniFile::SectionExists(std::string_view section) const {
  // Without a key name the function lists the section's keys; a section with none
  // lists nothing.
  wchar_t names[64];
  return ::GetPrivateProfileStringW(Wide(section).c_str(), nullptr, L"", names, DWORD(std::size(names)),
                                    FullPath(path_).c_str()) > 0;
}

bool IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  return ::WritePrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), Wide(value).c_str(),
                                      FullPath(path_).c_str()) != FALSE;
}

}  // namespace kestrova
