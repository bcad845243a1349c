// Administrator rights through the shell's "runas" verb, which shows the system's
// consent prompt (UAC) and starts the program with the full token once agreed.
#include <windows.h>
#include <shellapi.h>

#include "base/wide_text_win32.h"
#include "core/command_line.h"
#include "upgrade/elevation.h"

namespace kestrova {
namespace {

class ProcessHandle {
 public:
  explicit ProcessHandle(HANDLE handle) : handle_(handle) {}
  ~ProcessHandle() { ::CloseHandle(handle_); }
  ProcessHandle(const ProcessHandle&) = delete;
  ProcessHandle& operator=(const ProcessHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

std::wstring Parameters(const std::vector<std::string>& arguments) {
  std::string parameters;
  for (const std::string& argument : arguments) {
    if (!parameters.empty()) parameters += ' ';
    parameters += QuoteWindowsArgument(argument);
  }
  return WideText(parameters);
}

}  // namespace

bool CanRunElevated() { return true; }

ElevatedRun RunElevated(const std::string& executable, const std::vector<std::string>& arguments,
                        const std::function<void()>& while_waiting) {
  const std::wstring file = WideText(executable);
  const std::wstring parameters = Parameters(arguments);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  // The process handle to wait on; no error box of the shell's, the log says it.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  // Owned by the updater's window, the prompt comes up in front of it.
  info.hwnd = ::GetActiveWindow();
  info.lpVerb = L"runas";
  info.lpFile = file.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!::ShellExecuteExW(&info)) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_CANCELLED) return {ElevationOutcome::Declined, -1, {}};
    return {ElevationOutcome::Failed, -1, SystemErrorText(error)};
  }
  if (!info.hProcess) return {ElevationOutcome::Failed, -1, "no process came to wait for"};
  const ProcessHandle process(info.hProcess);
  while (::WaitForSingleObject(process.get(), 100) == WAIT_TIMEOUT) while_waiting();
  DWORD exit_code = 0;
  if (!::GetExitCodeProcess(process.get(), &exit_code)) {
    return {ElevationOutcome::Failed, -1, SystemErrorText(::GetLastError())};
  }
  return {ElevationOutcome::Finished, int(exit_code), {}};
}

}  // namespace kestrova
