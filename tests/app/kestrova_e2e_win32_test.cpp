// kestrova.exe as a publisher installs it, asking the update server through WinInet
// and starting the application when there is nothing newer or nobody answers. The
// upgrade through its window is the upgrade tests' own.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <thread>

#include "base/wide_text_win32.h"

#include "support/peers.h"

namespace kestrova {
namespace {

using test::Now;

class KestrovaE2E : public ::testing::Test {
 protected:
  KestrovaE2E() {
    std::filesystem::copy_file(KESTROVA_BIN_DIR "/kestrova.exe", dir_.WithSeparator() + "updater.exe");
    std::filesystem::copy_file(KESTROVA_BIN_DIR "/kestrova_e2e_app.exe", dir_.WithSeparator() + "app.exe");
  }

  // Runs the updater for an installed version 2.0; its exit code, or -1 when it still
  // runs after `patience` seconds.
  int Run(const std::string& addr1, int timeout = 2, double patience = 30) {
    dir_.Write("updater.ini", "[application]\nname=Demo\nmain_program=app.exe\n"
                              "filename_config=app.cfg\nparam_appli_version=VERSION\n"
                              "[server]\nserver_addr1=" + addr1 +
                                  "\nlink_for_update=/update\ninternet_option_connect_timeout=" +
                                  std::to_string(timeout) + "\n");
    dir_.Write("app.cfg", "[Kestrova]\nVERSION=2.0\n");
    test::ChildProcess updater({dir_.WithSeparator() + "updater.exe"});
    return updater.Wait(patience);
  }

  bool Started() {
    const double deadline = Now() + 5;
    while (Now() < deadline) {
      if (std::filesystem::exists(dir_.WithSeparator() + "started")) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  testing::TempFolder dir_;
};

TEST_F(KestrovaE2E, AsksTheServerWithItsNameThenStartsTheApplicationWithNothingNewer) {
  test::FixedReplyServer server(200, "2.0;2009-05-04");
  EXPECT_EQ(Run(server.BaseUrl()), 0);
  EXPECT_TRUE(Started());
  ASSERT_EQ(server.LogLines().size(), 1u);
  EXPECT_EQ(server.LogLines()[0].substr(0, server.LogLines()[0].find('\t', server.LogLines()[0].find('\t') + 1)),
            "/update?request=1&appli_name=Demo\tupdater.exe");
}

TEST_F(KestrovaE2E, AWindowedProgramStillTellsItsVersionToWhoAsks) {
  test::ChildProcess updater({dir_.WithSeparator() + "updater.exe", "--version"});
  EXPECT_EQ(updater.FirstLine().rfind("kestrova ", 0), 0u);
  EXPECT_EQ(updater.Wait(10), 0);
}

// One text of the version resource's English (Unicode) table.
std::string VersionText(const std::vector<char>& info, const wchar_t* key) {
  void* value = nullptr;
  UINT size = 0;
  const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
  const bool found = ::VerQueryValueW(info.data(), path.c_str(), &value, &size) && size > 0;
  return found ? Utf8Text(static_cast<const wchar_t*>(value)) : "";
}

std::string ManifestOf(const std::wstring& program) {
  HMODULE module = ::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) return {};
  std::string manifest;
  if (HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {  // RT_MANIFEST
    manifest.assign(static_cast<const char*>(::LockResource(::LoadResource(module, found))),
                    ::SizeofResource(module, found));
  }
  ::FreeLibrary(module);
  return manifest;
}

TEST(WindowsResources, EachProgramCarriesItsVersionAndAManifestThatAsksForNoRights) {
  for (const char* name : {"kestrova.exe", "kestrova-zip.exe", "kestrova-publish.exe"}) {
    const std::wstring program = WideText(std::string(KESTROVA_BIN_DIR "/") + name);
    std::vector<char> info(::GetFileVersionInfoSizeW(program.c_str(), nullptr));
    ASSERT_TRUE(!info.empty() && ::GetFileVersionInfoW(program.c_str(), 0, DWORD(info.size()), info.data()))
        << name << " has no version resource";
    EXPECT_EQ(VersionText(info, L"ProductVersion"), KESTROVA_VERSION) << name;
    EXPECT_EQ(VersionText(info, L"FileVersion"), KESTROVA_VERSION) << name;
    EXPECT_EQ(VersionText(info, L"OriginalFilename"), name);
    EXPECT_FALSE(VersionText(info, L"FileDescription").empty()) << name;
    const std::string manifest = ManifestOf(program);
    for (const char* part : {"level=\"asInvoker\"", "Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                             "PerMonitorV2", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
      EXPECT_NE(manifest.find(part), std::string::npos) << name << " lacks " << part << ":\n" << manifest;
    }
  }
}

TEST_F(KestrovaE2E, ASilentServerDelaysTheStartByTheTimeOutAtMost) {
  test::SilentServer silent;
  const double start = Now();
  EXPECT_EQ(Run(silent.BaseUrl(), 1), 0);
  EXPECT_TRUE(Started());
  EXPECT_LT(Now() - start, 1.0 + 4.0);  // the time-out, and starting two programs under Wine
}

}  // namespace
}  // namespace kestrova
