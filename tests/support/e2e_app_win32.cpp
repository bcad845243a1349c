// The application that the updater starts in the Windows end-to-end test: it leaves a
// file named "started" beside itself.
#include <windows.h>

#include <string>

int main() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring marker(path, length);
  marker = marker.substr(0, marker.find_last_of(L"\\/") + 1) + L"started";
  HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(file);
  return 0;
}
