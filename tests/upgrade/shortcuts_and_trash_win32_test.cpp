// Shell links made with the shell's own link object over a profiles tree of the
// test's own, retargeted and read back; folders removed through the recycle bin.
#include <gtest/gtest.h>
#include <windows.h>
// after windows.h, which they build on
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdlib>
#include <filesystem>

#include "support/temp_folder.h"
#include "upgrade/com_apartment.h"
#include "upgrade/shortcuts.h"
#include "upgrade/trash.h"

namespace kestrova {
namespace {

namespace fs = std::filesystem;
using kestrova::testing::TempFolder;

struct Link {
  std::wstring target, arguments;
};

// Writes a shell link, or reads one back (an empty target when it cannot be read).
void SaveLink(const fs::path& file, const Link& link) {
  IShellLinkW* shell_link = nullptr;
  IPersistFile* persist = nullptr;
  ASSERT_HRESULT_SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                              reinterpret_cast<void**>(&shell_link)));
  shell_link->SetPath(link.target.c_str());
  shell_link->SetArguments(link.arguments.c_str());
  shell_link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist));
  fs::create_directories(file.parent_path());
  EXPECT_HRESULT_SUCCEEDED(persist->Save(file.wstring().c_str(), TRUE)) << file;
  persist->Release();
  shell_link->Release();
}

Link LoadLink(const fs::path& file) {
  IShellLinkW* shell_link = nullptr;
  IPersistFile* persist = nullptr;
  Link link;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shell_link)))) {
    return link;
  }
  shell_link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist));
  wchar_t text[MAX_PATH] = L"";
  if (SUCCEEDED(persist->Load(file.wstring().c_str(), STGM_READ))) {
    shell_link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
    link.target = text;
    shell_link->GetArguments(text, MAX_PATH);
    link.arguments = text;
  }
  persist->Release();
  shell_link->Release();
  return link;
}

TEST(Shortcuts, LinksStartingTheApplicationStartTheUpdaterAndKeepTheirArguments) {
  TComApartment apartment;
  TempFolder profiles, programs;
  const fs::path app = programs.Write("bin/APP.EXE", "app"), other = programs.Write("bin/other.exe", "other");
  const fs::path updater = programs.Write("updater.exe", "updater");
  ::_putenv_s("KESTROVA_PROFILES_ROOT", profiles.path().string().c_str());
  const fs::path root = profiles.path();
  struct Case {
    fs::path file;
    fs::path target;
    bool retargeted;
  };
  const Case cases[] = {
      {root / "ann/Desktop/app.lnk", app, true},
      {root / "ann/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/app.lnk", app, true},
      {root / "bob/other.lnk", other, false},
      {root / "bob/secret/app.lnk", app, false},  // in a hidden folder
      {root / "bob/locked.lnk", app, false},      // read-only
  };
  for (const Case& c : cases) SaveLink(c.file, {c.target.wstring(), L"--x \"y z\""});
  ::SetFileAttributesW((root / "ann/AppData").wstring().c_str(), FILE_ATTRIBUTE_HIDDEN);
  ::SetFileAttributesW((root / "bob/secret").wstring().c_str(), FILE_ATTRIBUTE_HIDDEN);
  ::SetFileAttributesW((root / "bob/locked.lnk").wstring().c_str(), FILE_ATTRIBUTE_READONLY);

  EXPECT_EQ(RetargetShortcuts("bin\\app.exe", updater.string()), 2);
  for (const Case& c : cases) {
    const Link link = LoadLink(c.file);
    EXPECT_TRUE(fs::equivalent(link.target, c.retargeted ? updater : c.target)) << c.file;
    EXPECT_EQ(link.arguments, L"--x \"y z\"") << c.file;
  }
  EXPECT_EQ(RetargetShortcuts("bin\\app.exe", updater.string()), 0) << "a retargeted link no longer matches";
  ::SetFileAttributesW((root / "bob/locked.lnk").wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
  ::_putenv_s("KESTROVA_PROFILES_ROOT", "");
}

TEST(Trash, RemoveFolderTakesTheWholeFolderAndRefusesWhatItCannotName) {
  TempFolder folder;
  folder.Write("app/old plugin/sub/a.dll", "a");
  folder.Write("app/keep.txt", "keep");
  EXPECT_TRUE(RemoveFolder((folder.path() / "app/old plugin").string()));
  EXPECT_FALSE(fs::exists(folder.path() / "app/old plugin"));
  EXPECT_EQ(folder.Read("app/keep.txt"), "keep");
  EXPECT_FALSE(RemoveFolder((folder.path() / "app/missing").string()));
  EXPECT_FALSE(MoveToTrash((folder.path() / "app/*").string())) << "the shell would expand the wildcard";
  EXPECT_FALSE(MoveToTrash("app")) << "relative to whatever the current folder is";
  EXPECT_TRUE(fs::exists(folder.path() / "app/keep.txt"));
}

}  // namespace
}  // namespace kestrova
