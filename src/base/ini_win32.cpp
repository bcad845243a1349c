// INI files through the Windows profile functions, wide so that every path and
// value is reachable; texts come back as UTF-8.
#include <windows.h>

#include <string>

#include "base/ini.h"
#include "base/wide_text_win32.h"

namespace kestrova {
namespace {

// The profile functions look for a file named without a folder in the Windows
// folder, so the path is made full against the working folder first.
std::wstring FullPath(const std::string& path) {
  const std::wstring wide = WideText(path);
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
  const DWORD length = ::GetPrivateProfileStringW(WideText(section).c_str(), WideText(key).c_str(),
                                                  WideText(fallback).c_str(), value.data(),
                                                  DWORD(value.size()), FullPath(path_).c_str());
  value.resize(length);
  return Utf8Text(value);
}

bool IniFile::SectionExists(std::string_view section) const {
  // Without a key name the function lists the section's keys; a section with none
  // lists nothing.
  wchar_t names[64];
  return ::GetPrivateProfileStringW(WideText(section).c_str(), nullptr, L"", names, DWORD(std::size(names)),
                                    FullPath(path_).c_str()) > 0;
}

bool IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  const std::wstring path = FullPath(path_);
  // Windows refuses to write a read-only file, but Wine run by the superuser writes
  // it anyway; the attribute decides on both.
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return false;
  return ::WritePrivateProfileStringW(WideText(section).c_str(), WideText(key).c_str(), WideText(value).c_str(),
                                      path.c_str()) != FALSE;
}

}  // namespace kestrova
