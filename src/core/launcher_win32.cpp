// Starting processes on Windows: the loader finds the program in the command line
// itself, and the priority index picks one of the six priority classes.
#include <windows.h>

#include <array>
#include <string>

#include "base/wide_text_win32.h"
#include "core/launcher.h"
#include "core/windows_version.h"

namespace kestrova {
namespace {

// Priority classes of the indices 1-6, in the order the configuration numbers them.
constexpr std::array<DWORD, 6> kPriorityClasses = {
    IDLE_PRIORITY_CLASS,     NORMAL_PRIORITY_CLASS,        HIGH_PRIORITY_CLASS,
    REALTIME_PRIORITY_CLASS, ABOVE_NORMAL_PRIORITY_CLASS,  BELOW_NORMAL_PRIORITY_CLASS};

// An index outside the table starts the program at normal priority rather than
// not at all: the publisher asked for the application to run.
DWORD PriorityClassFor(int32_t priority_index) {
  if (priority_index < 1 || priority_index > int32_t(kPriorityClasses.size())) return NORMAL_PRIORITY_CLASS;
  return kPriorityClasses[size_t(priority_index - 1)];
}

/// Closes a kernel handle when it goes.
class OwnedHandle {
 public:
  explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
  ~OwnedHandle() {
    if (handle_) ::CloseHandle(handle_);
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;

 private:
  HANDLE handle_;
};

// The kernel's RTL_OSVERSIONINFOW, which the user-mode headers do not declare.
struct VersionInfo {
  ULONG size;
  ULONG major;
  ULONG minor;
  ULONG build;
  ULONG platform_id;
  WCHAR service_pack[128];
};
using RtlGetVersionFunction = LONG(WINAPI*)(VersionInfo*);

}  // namespace

int StartProcess(const std::string& command_line, const std::string& working_directory,
                 uint16_t show_state, int32_t priority_index) {
  // CreateProcessW may write into the command line, so it gets a copy of its own.
  std::wstring command = WideText(command_line);
  const std::wstring folder = WideText(working_directory);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = show_state;
  PROCESS_INFORMATION created{};
  // No application name: the system takes the program from the command line and
  // resolves an unquoted path with blanks its own way.
  const DWORD priority_class = PriorityClassFor(priority_index);
  const BOOL ok = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE,
                                   priority_class | CREATE_NEW_CONSOLE | CREATE_SUSPENDED, nullptr,
                                   folder.empty() ? nullptr : folder.c_str(), &startup, &created);
  if (!ok) return -1;
  // Nothing watches the application once it runs.
  OwnedHandle process(created.hProcess);
  OwnedHandle thread(created.hThread);
  // The class is set once more before the program's first instruction: Wine, for
  // one, takes no priority class from the creation flags.
  ::SetPriorityClass(created.hProcess, priority_class);
  if (::ResumeThread(created.hThread) == DWORD(-1)) {
    ::TerminateProcess(created.hProcess, 1);  // never to run: not started
    return -1;
  }
  return 0;
}

int32_t GetWindowsVersionCode() {
  // GetVersionEx reports an old release to programs without a compatibility
  // manifest; the kernel's own call tells the truth.
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  if (!ntdll) return -1;
  const auto get_version =
      reinterpret_cast<RtlGetVersionFunction>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
  if (!get_version) return -1;
  VersionInfo info{};
  info.size = sizeof info;
  if (get_version(&info) != 0) return -1;
  return ClassifyWindowsVersion(info.platform_id, info.major, info.minor, Utf8Text(info.service_pack));
}

}  // namespace kestrova
