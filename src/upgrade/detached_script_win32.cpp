// Detached scripts on Windows: the command interpreter on the script, without a
// window and without any of the updater's handles, so that it runs on unseen after
// the updater has ended (a Windows process outlives its parent by itself).
#include <windows.h>

#include <vector>

#include "base/paths.h"
#include "base/wide_text_win32.h"
#include "upgrade/detached_script.h"

namespace kestrova {
namespace {

// The interpreter the system names, else the one in the system folder.
std::wstring CommandInterpreter() {
  std::vector<wchar_t> path(MAX_PATH);
  DWORD size = ::GetEnvironmentVariableW(L"ComSpec", path.data(), DWORD(path.size()));
  if (size > 0 && size < path.size()) return path.data();
  size = ::GetSystemDirectoryW(path.data(), UINT(path.size()));
  if (size == 0 || size >= path.size()) return L"cmd.exe";
  return std::wstring(path.data()) + L"\\cmd.exe";
}

// The interpreter expands "%" on its own command line as well; a script that lies in
// its working folder is therefore named without its folder, whose name could hold one.
std::wstring ScriptWord(const std::string& script_path, const std::string& working_directory) {
  const bool in_folder = WithTrailingSeparator(FolderOf(script_path)) == WithTrailingSeparator(working_directory);
  return L"\"" + WideText(in_folder ? FileNameOf(script_path) : script_path) + L"\"";
}

// Closes the handles CreateProcessW hands back, which the updater does not need.
struct ProcessHandles {
  PROCESS_INFORMATION info{};
  ~ProcessHandles() {
    if (info.hThread) ::CloseHandle(info.hThread);
    if (info.hProcess) ::CloseHandle(info.hProcess);
  }
};

}  // namespace

bool StartDetachedScript(const std::string& script_path, const std::string& working_directory) {
  const std::wstring interpreter = CommandInterpreter();
  // /d: no AutoRun commands of the user's; /c: run the script, then end.
  std::wstring command_line =
      L"\"" + interpreter + L"\" /d /c \"" + ScriptWord(script_path, working_directory) + L"\"";
  const std::wstring folder = WideText(working_directory);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  ProcessHandles process;
  return ::CreateProcessW(interpreter.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                          CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT,
                          nullptr, folder.empty() ? nullptr : folder.c_str(), &startup,
                          &process.info) != 0;
}

int64_t CurrentProcessId() { return ::GetCurrentProcessId(); }

}  // namespace kestrova
