#include "terminal.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "base/wide_text_win32.h"

namespace kestrova {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  const std::unique_ptr<LPWSTR, decltype(&LocalFree)> wide(CommandLineToArgvW(GetCommandLineW(), &count),
                                                           &LocalFree);
  if (!wide) return {argv, argv + argc};
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8Text(wide.get()[i]));
  return arguments;
}

// Only a console has a mode; a pipe or a file redirected to does not.
bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

int TerminalWidth() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
    const int width = info.srWindow.Right - info.srWindow.Left + 1;
    if (width > 0) return width;
  }
  return 80;
}

}  // namespace kestrova
