// A program that records how it was started, for the launcher tests: each argument
// as "[argument]", then "cwd=" and its working directory, then "priority=" and its
// priority class in hexadecimal. The record lands beside the program, named after
// it with ".txt", and appears whole at once.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

std::wstring OwnPath() {
  std::wstring path(32768, L'\0');
  path.resize(::GetModuleFileNameW(nullptr, path.data(), DWORD(path.size())));
  return path;
}

std::string Record() {
  std::string record;
  int count = 0;
  LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  for (int i = 1; arguments && i < count; ++i) record += "[" + Utf8(arguments[i]) + "]\n";
  ::LocalFree(arguments);
  std::wstring folder(32768, L'\0');
  folder.resize(::GetCurrentDirectoryW(DWORD(folder.size()), folder.data()));
  record += "cwd=" + Utf8(folder) + "\n";
  char priority[16];
  std::snprintf(priority, sizeof priority, "%lx", ::GetPriorityClass(::GetCurrentProcess()));
  record += "priority=" + std::string(priority) + "\n";
  return record;
}

}  // namespace

int main() {
  const std::wstring own = OwnPath();
  const std::wstring target = own.substr(0, own.rfind(L'.')) + L".txt";
  const std::wstring partial = target + L".part";
  const std::string record = Record();
  FILE* out = ::_wfopen(partial.c_str(), L"wb");
  if (!out) return 1;
  std::fwrite(record.data(), 1, record.size(), out);
  std::fclose(out);
  return ::MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
