#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "app/updater_arguments.h"
#include "base/wide_text_win32.h"

namespace kestrova {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  const std::unique_ptr<LPWSTR, decltype(&::LocalFree)> split(::CommandLineToArgvW(::GetCommandLineW(), &count),
                                                              &::LocalFree);
  if (!split) return std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(Utf8Text(split.get()[i]));
  return arguments;
}

}  // namespace kestrova
