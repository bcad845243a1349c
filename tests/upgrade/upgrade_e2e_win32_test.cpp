// The whole upgrade as a customer sees it on Windows: kestrova.exe in front of Demo 1.0,
// the Linux reference server publishing 1.1, "Update now" pressed in the real window,
// then everything the upgrade promised read back from the disk.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cwctype>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>
#include <vector>

#include "base/files.h"
#include "base/text.h"
#include "base/wide_text_win32.h"
#include "demo_publication.h"
#include "shell_links_win32.h"
#include "support/peers.h"
#include "support/window_driver_win32.h"
#include "ui/ui_test_support.h"
#include "ui/win32/png_file_win32.h"
#include "upgrade/com_apartment.h"
#include "zip/zip_archiver.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr char kUpdaterMarker[] = "\r\nkestrova test build 1.1\r\n";

// `folder` with everything under it, as the publisher's archiver would store it.
void ZipFolder(const std::string& folder, const std::string& archive) {
  ZipArchiver archiver;
  archiver.FileName = Utf8ToUtf16(archive);
  archiver.BaseDir = Utf8ToUtf16(folder);
  archiver.Open(fmCreate);
  archiver.AddMatching(u"*.*");
  archiver.Close();
}

// The Unix path Wine's own code (the recycle bin) reads from the environment.
std::string UnixPath(std::string path) {
  if (path.rfind("Z:", 0) == 0) path.erase(0, 2);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

// The window as the screen shows it, frame included, for a reviewer.
bool SaveWindowPicture(HWND window, const std::string& name) {
  RECT frame;
  if (!::GetWindowRect(window, &frame)) return false;
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, width, -height, 1, 32, BI_RGB};
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool saved = false;
  if (bitmap && bits) {
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
    ::GdiFlush();
    const auto* pixels = static_cast<const uint32_t*>(bits);
    saved = ui::WritePng(ui::testing::ScreenshotDir() + "/" + name + "_win32.png", width, height,
                         std::vector<uint32_t>(pixels, pixels + size_t(width) * size_t(height)));
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
  }
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  return saved;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::seconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

// Whether process `id` bound the common controls 6, which the system does only for a
// program whose manifest asks for them: from the assembly's own side-by-side folder
// (their file version says nothing under Wine, which calls them 5.81 too).
bool LoadedCommonControls6(DWORD id) {
  const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, id);
  MODULEENTRY32W module{};
  module.dwSize = sizeof module;
  bool found = false;
  for (BOOL more = ::Module32FirstW(snapshot, &module); more; more = ::Module32NextW(snapshot, &module)) {
    std::wstring path = module.szExePath;
    for (wchar_t& c : path) c = wchar_t(std::towlower(c));
    found = found || path.find(L"common-controls_6595b64144ccf1df_6.") != std::wstring::npos;
  }
  ::CloseHandle(snapshot);
  return found;
}

// Starts `script` in the Unix shell (Wine starts it, but gives no way to wait for it).
void StartUnixScript(const std::wstring& script) {
  std::wstring command_line = L"/bin/sh -c \"" + script + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
}

// `folder` read-only even for root, whom Wine runs as here: a read-only bind mount.
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(const std::string& folder) : folder_(folder), unix_(WideText(UnixPath(folder))) {
    StartUnixScript(L"mount --bind '" + unix_ + L"' '" + unix_ + L"' && mount -o remount,bind,ro '" + unix_ + L"'");
    WaitUntil([&] { return FolderWriteFault(folder_).has_value(); }, 5s);
  }
  ~ReadOnlyFolder() {
    StartUnixScript(L"umount '" + unix_ + L"'");
    WaitUntil([&] { return !FolderWriteFault(folder_); }, 5s);
  }

 private:
  std::string folder_;
  std::wstring unix_;
};

class WholeUpgrade : public ::testing::Test {
 protected:
  WholeUpgrade() {
    // Everything the upgrade touches outside the application folder stays in the test's.
    ::_putenv_s("KESTROVA_PROFILES_ROOT", (home_.WithSeparator() + "profiles").c_str());
    ::_putenv_s("TMP", temp_.WithSeparator().c_str());
    ::_putenv_s("TEMP", temp_.WithSeparator().c_str());
    ::_putenv_s("XDG_DATA_HOME", UnixPath(home_.WithSeparator() + "data").c_str());
    InstallDemo10();
    PublishDemo11();
    app_.Write("updater.ini", "[application]\nname=Demo\nmain_program=app.exe\nfilename_config=data\\demo.cfg\n"
                              "param_appli_version=VERSION\n[server]\nserver_addr1=" +
                                  publication_.BaseUrl() + "\nlink_for_update=/update\n"
                                  "internet_option_connect_timeout=5\n");
  }

  void InstallDemo10() {
    fs::copy_file(KESTROVA_BIN_DIR "/kestrova.exe", app_.WithSeparator() + "updater.exe");
    fs::copy_file(KESTROVA_BIN_DIR "/kestrova_e2e_app.exe", app_.WithSeparator() + "app.exe");
    app_.Write("data/demo.cfg", "[Kestrova]\nVERSION=1.0\n");
    app_.Write("readme.txt", "Demo 1.0");
    app_.Write("old-plugin.txt", "a plug-in 1.1 no longer needs");
    app_.Write("cache/thumbnails.db", "cached");
    TComApartment apartment;
    testing::SaveLink(home_.WithSeparator() + "profiles/ann/Desktop/Demo.lnk", {WideText(app_.WithSeparator() + "app.exe"), L""});
  }

  void PublishDemo11() {
    testing::TempFolder release;
    fs::create_directories(release.WithSeparator() + "program");
    fs::copy_file(KESTROVA_BIN_DIR "/kestrova_e2e_app.exe", release.WithSeparator() + "program/app.exe");
    release.Write("program/readme.txt", "Demo 1.1");
    // The release's updater: this one with a marker after its end, which Windows ignores.
    new_updater_ = test::ReadFile(KESTROVA_BIN_DIR "/kestrova.exe") + kUpdaterMarker;
    release.Write("updater/Kestrova.new", new_updater_);
    ZipFolder(release.WithSeparator() + "program", publication_.FilePath("demo11.zip"));
    ZipFolder(release.WithSeparator() + "updater", publication_.FilePath("demo11-updater.zip"));
    publication_.Announce("1.1", "2026-12-09");
    publication_.Describe("description.rtf",
                          "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20{\\b Demo 1.1} brings a faster start.\\par}");
    publication_.PublishActionList("[release]\ndownload_server_adr1=" + publication_.BaseUrl() +
                                   "\nfiledir=/files/Demo\nfilename1=demo11.zip\n"
                                   "filename2=demo11-updater.zip\nUpgrade_Kestrova=1\ncheck_shortcuts=1\n"
                                   "[save_action]\npath1=data\\*.cfg\npath2=*.exe\n"
                                   "[files_to_delete]\nfile1=old-plugin.txt\n"
                                   "[folders_to_delete]\ndir1=cache\n");
  }

  bool Exists(const std::string& name) const { return fs::exists(app_.WithSeparator() + name); }

  testing::TempFolder app_, log_, home_, temp_;
  testing::DemoPublication publication_{log_.WithSeparator() + "completions.log"};
  std::string new_updater_;
};

TEST_F(WholeUpgrade, UpdateNowInTheWindowTakesDemoFrom10To11AndTheRestartFindsNothingNewer) {
  {
    test::ChildProcess updater({app_.WithSeparator() + "updater.exe"});
    HWND main_window = testing::WaitForWindow(updater.Id(), "Release available", 60);
    ASSERT_TRUE(main_window) << "the main window did not show";
    std::this_thread::sleep_for(300ms);  // painted, for the picture
    SaveWindowPicture(main_window, "upgrade_offered");
    EXPECT_TRUE(LoadedCommonControls6(updater.Id())) << "the window is not drawn with common controls 6";
    ASSERT_TRUE(testing::PressButton(main_window, "Update now", 10));
    const bool upgraded = testing::WaitForButton(main_window, "Launch Application", 180);
    ASSERT_TRUE(upgraded) << "the upgrade did not finish; its log:\n" << test::ReadFile(temp_.WithSeparator() + "Demo_upgrade.log");
    std::this_thread::sleep_for(300ms);
    SaveWindowPicture(main_window, "upgrade_done");
    ASSERT_TRUE(testing::PressButton(main_window, "Launch Application", 1));
    EXPECT_EQ(updater.Wait(30), 0);
  }
  // The replacement script swaps the updater, starts it again, and the restarted
  // updater, finding no newer release, starts the application.
  EXPECT_TRUE(WaitUntil([&] { return Exists("started") && !Exists("batch_update.bat"); }, 90s))
      << "started: " << Exists("started") << ", script left: " << Exists("batch_update.bat");

  const std::string log = test::ReadFile(temp_.WithSeparator() + "Demo_upgrade.log");
  EXPECT_NE(log.find("Done successfuly"), std::string::npos) << log;
  EXPECT_NE(test::ReadFile(app_.WithSeparator() + "data/demo.cfg").find("VERSION=1.1"), std::string::npos);
  EXPECT_EQ(test::ReadFile(app_.WithSeparator() + "readme.txt"), "Demo 1.1");
  EXPECT_EQ(test::ReadFile(app_.WithSeparator() + "updater.exe"), new_updater_) << "the updater was not replaced";
  EXPECT_FALSE(Exists("Kestrova.new"));
  EXPECT_FALSE(Exists("old-plugin.txt"));
  EXPECT_FALSE(Exists("cache"));
  EXPECT_TRUE(fs::exists(home_.WithSeparator() + "data/Trash/files/cache")) << "the folder went to the recycle bin";

  ZipArchiver saved;
  saved.FileName = Utf8ToUtf16(temp_.WithSeparator() + "Demo_save.zip");
  saved.Open(fmOpenReadDenyNone);
  std::set<std::string> names;
  for (const auto& item : saved.Items()) names.insert(Utf16ToUtf8(item.name));
  EXPECT_EQ(names, (std::set<std::string>{"app.exe", "data/demo.cfg", "updater.exe"}));

  TComApartment apartment;
  const testing::Link shortcut = testing::LoadLink(home_.WithSeparator() + "profiles/ann/Desktop/Demo.lnk");
  EXPECT_TRUE(fs::equivalent(shortcut.target, app_.WithSeparator() + "updater.exe")) << Utf8Text(shortcut.target);

  EXPECT_TRUE(WaitUntil([&] { return !test::ReadFile(log_.WithSeparator() + "completions.log").empty(); }, 5s))
      << "the server heard of no completed upgrade";
}

TEST_F(WholeUpgrade, UpdateNowInAFolderTheUserCannotWriteHandsTheUpgradeToARunWithTheRights) {
  const std::string installed = test::ReadFile(app_.WithSeparator() + "data/demo.cfg");
  {
    ReadOnlyFolder protect(app_.WithSeparator());
    if (!FolderWriteFault(app_.WithSeparator())) GTEST_SKIP() << "no read-only mount can be made here (as root)";
    test::ChildProcess updater({app_.WithSeparator() + "updater.exe"});
    HWND main_window = testing::WaitForWindow(updater.Id(), "Release available", 60);
    ASSERT_TRUE(main_window) << "the main window did not show";
    ASSERT_TRUE(testing::PressButton(main_window, "Update now", 10));
    // Wine shows no consent prompt: "runas" starts the run at once, with no more rights
    // than this one, so it meets the same read-only folder and changes nothing.
    // The run with the rights writes the log first; this run's own, around it, comes last.
    std::string log;
    ASSERT_TRUE(WaitUntil([&] {
      log = test::ReadFile(temp_.WithSeparator() + "Demo_upgrade.log");
      return log.find("administrator rights") != std::string::npos && log.find("aborted") != std::string::npos;
    }, 120s)) << log;
    std::this_thread::sleep_for(300ms);
    SaveWindowPicture(main_window, "upgrade_elevation");
    EXPECT_NE(log.find("Upgrade with administrator rights ...        : Failed"), std::string::npos) << log;
    EXPECT_NE(log.find("Get action list"), std::string::npos) << "the run with the rights logged nothing:\n" << log;
    EXPECT_NE(log.find("did not install the release; nothing was changed."), std::string::npos) << log;
    ::PostMessageW(main_window, WM_CLOSE, 0, 0);
    EXPECT_EQ(updater.Wait(30), 0);
  }
  EXPECT_EQ(test::ReadFile(app_.WithSeparator() + "readme.txt"), "Demo 1.0");
  EXPECT_EQ(test::ReadFile(app_.WithSeparator() + "data/demo.cfg"), installed);
  EXPECT_FALSE(Exists("kestrova-upgrade") || Exists("started") || Exists("demo11.zip"));
}

}  // namespace
}  // namespace kestrova
