// kestrova.exe as a publisher installs it on Windows: copied into an application
// folder beside its configuration, starting a probe program that records how it was
// started.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>

#include "base/wide_text_win32.h"
#include "support/temp_folder.h"
#include "support/window_driver_win32.h"

namespace kestrova {
namespace {

using kestrova::testing::TempFolder;
namespace fs = std::filesystem;

class KestrovaLaunchWin32Test : public ::testing::Test {
 protected:
  KestrovaLaunchWin32Test() {
    fs::copy_file(fs::path(KESTROVA_BIN_DIR) / "kestrova.exe", folder_.path() / "myupdater.exe");
    fs::create_directories(folder_.path() / "app");
    fs::copy_file(fs::path(KESTROVA_BIN_DIR) / "process-probe.exe", folder_.path() / "app" / "probe.exe");
  }

  // Runs the copied updater with `arguments` and returns its exit code; -1 when it
  // could not be run or did not end within 30 seconds. `meanwhile` gets the running
  // updater's process id.
  int Run(const std::string& arguments, const std::function<void(DWORD)>& meanwhile = {}) {
    std::wstring command = WideText("\"" + (folder_.path() / "myupdater.exe").string() + "\" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION created{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &created)) {
      return -1;
    }
    if (meanwhile) meanwhile(created.dwProcessId);
    DWORD code = DWORD(-1);
    if (::WaitForSingleObject(created.hProcess, 30000) == WAIT_OBJECT_0) {
      ::GetExitCodeProcess(created.hProcess, &code);
    } else {
      ::TerminateProcess(created.hProcess, 1);  // no window of it outlives the test
    }
    ::CloseHandle(created.hThread);
    ::CloseHandle(created.hProcess);
    return int(code);
  }

  // The probe's record, once written; empty after five seconds without.
  std::string Started() { return folder_.ReadOnceWritten("app/probe.txt"); }

  TempFolder folder_;
};

TEST_F(KestrovaLaunchWin32Test, APlainLauncherStartsTheApplicationAsConfigured) {
  folder_.Write("myupdater.ini",
                "[application]\r\ncheck_release=0\r\nmain_program=app\\probe.exe\r\nmain_directory=app\r\n"
                "program_parameters=--mode \"full screen\"\r\nprocess_priority=6\r\n");
  // Characters outside any ANSI code page reach the application as they were given.
  EXPECT_EQ(Run("\"a file.txt\" \xE6\x97\xA5\xCE\xB1"), 0);
  EXPECT_EQ(Started(), "[--mode]\n[full screen]\n[a file.txt]\n[\xE6\x97\xA5\xCE\xB1]\ncwd=" + folder_.WithSeparator() +
                           "app\npriority=4000\n");
}

TEST_F(KestrovaLaunchWin32Test, AnUnansweredCheckMarksTheApplicationsFileAndStartsIt) {
  folder_.Write("myupdater.ini",
                "[application]\r\nmain_program=app\\probe.exe\r\nmain_directory=app\r\nprocess_priority=3\r\n"
                "filename_config=app.cfg\r\nparam_appli_version=VERSION\r\n"
                "[server]\r\ninternet_option_connect_timeout=2\r\n");
  folder_.Write("app.cfg", "VERSION=2.3.1");
  EXPECT_EQ(Run(""), 0);
  EXPECT_EQ(Started(), "cwd=" + folder_.WithSeparator() + "app\npriority=80\n");
  EXPECT_EQ(folder_.Read("app.cfg"), "[Kestrova]\r\nVERSION=2.3.1");
}

TEST_F(KestrovaLaunchWin32Test, WithoutItsConfigurationItSaysSoAndStartsNothing) {
  std::string message;
  EXPECT_EQ(Run("",
                [&](DWORD updater) {
                  HWND box = testing::WaitForWindow(updater, "Error", 30);
                  if (!box) return;
                  HWND text = ::FindWindowExW(box, nullptr, L"Static", nullptr);
                  while (text && testing::WindowText(text).empty()) text = ::FindWindowExW(box, text, L"Static", nullptr);
                  if (text) message = testing::WindowText(text);
                  testing::PressButton(box, "OK", 5);
                }),
            1);
  EXPECT_NE(message.find("myupdater.ini"), std::string::npos) << message;
  EXPECT_FALSE(fs::exists(folder_.path() / "app" / "probe.txt"));
}

}  // namespace
}  // namespace kestrova
