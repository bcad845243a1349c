// Shell links written and read back with the shell's own link object.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
// after windows.h, which they build on
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <filesystem>
#include <string>

namespace kestrova::testing {

/// What a shell link starts.
struct Link {
  std::wstring target, arguments;
};

// Writes a shell link, or reads one back (an empty target when it cannot be read).
inline void SaveLink(const std::filesystem::path& file, const Link& link) {
  IShellLinkW* shell_link = nullptr;
  IPersistFile* persist = nullptr;
  ASSERT_HRESULT_SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                              reinterpret_cast<void**>(&shell_link)));
  shell_link->SetPath(link.target.c_str());
  shell_link->SetArguments(link.arguments.c_str());
  shell_link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist));
  std::filesystem::create_directories(file.parent_path());
  EXPECT_HRESULT_SUCCEEDED(persist->Save(file.wstring().c_str(), TRUE)) << file;
  persist->Release();
  shell_link->Release();
}

inline Link LoadLink(const std::filesystem::path& file) {
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

}  // namespace kestrova::testing
