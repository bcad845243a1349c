#include <windows.h>

#include <cstdio>

#include "app/caller_console.h"

namespace kestrova {

void UseCallersConsole() {
  // A handle that names a file or pipe is the caller's redirection: keep it.
  const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (output && output != INVALID_HANDLE_VALUE && ::GetFileType(output) != FILE_TYPE_UNKNOWN) return;
  if (::AttachConsole(ATTACH_PARENT_PROCESS)) std::freopen("CONOUT$", "w", stdout);
}

}  // namespace kestrova
