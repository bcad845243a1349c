// Shortcuts on Windows: shell links ("*.lnk") in the user profiles, read and written
// through the shell's link object, so that every property the shell stores in a link
// survives the change of its target.
#include <windows.h>
// after windows.h, which they build on
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <userenv.h>

#include <cstdlib>
#include <string_view>
#include <vector>

#include "base/files.h"
#include "base/text.h"
#include "base/wide_text_win32.h"
#include "upgrade/com_apartment.h"
#include "upgrade/shortcuts.h"

namespace kestrova {
namespace {

constexpr char kShortcutMask[] = "*.lnk";
// Where the profiles lay before the system could say so itself.
constexpr char kClassicProfilesRoot[] = "C:\\Documents and Settings";
// A profile's own start menu lies in its hidden application data.
constexpr char kStartMenuFolder[] = "AppData\\Roaming\\Microsoft\\Windows\\Start Menu";
// Enough for any target the shell stores, long paths included.
constexpr DWORD kTargetCapacity = 32768;

/// One reference to a COM object, given back when it goes.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() {
    if (object_) object_->Release();
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  T** Receive() { return &object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_ = nullptr;
};

// The profiles folder as the system names it ("C:\Users" since Vista); the classic
// folder only where the system cannot tell.
std::string ProfilesRoot() {
  DWORD size = 0;
  ::GetProfilesDirectoryW(nullptr, &size);
  std::vector<wchar_t> folder(size + 1);
  if (size == 0 || !::GetProfilesDirectoryW(folder.data(), &size)) return kClassicProfilesRoot;
  return Utf8Text(folder.data());
}

// The file name part of a stored target: after its last backslash, slash or colon.
std::wstring_view TargetFileName(std::wstring_view target) {
  const size_t cut = target.find_last_of(L"\\/:");
  return cut == std::wstring_view::npos ? target : target.substr(cut + 1);
}

bool TargetsProgram(IShellLinkW& link, const std::string& program_file_name) {
  std::vector<wchar_t> target(kTargetCapacity);
  // The raw path: a target written with environment variables is compared as stored.
  if (FAILED(link.GetPath(target.data(), int(target.size()), nullptr, SLGP_RAWPATH))) return false;
  const std::wstring_view name = TargetFileName(target.data());
  return !name.empty() && EqualsIgnoreCase(Utf8Text(name), program_file_name);
}

}  // namespace

ShortcutPlaces PlatformShortcutPlaces() {
  const char* moved = std::getenv("KESTROVA_PROFILES_ROOT");
  return {moved && *moved ? std::string(moved) : ProfilesRoot(), kShortcutMask, {kStartMenuFolder}};
}

bool IsHiddenEntry(const FolderEntry& entry) {
  return (entry.status.attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
}

bool RetargetShortcut(const std::string& shortcut_path, const std::string& program_file_name,
                      const std::string& updater_path, const ShortcutChangeHook& before_change) {
  if (program_file_name.empty()) return false;
  TComApartment apartment;
  if (!apartment.Usable()) return false;
  ComRef<IShellLinkW> link;
  ComRef<IPersistFile> file;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(link.Receive())))) {
    return false;
  }
  if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Receive())))) return false;
  const std::wstring path = WideText(shortcut_path);
  if (FAILED(file->Load(path.c_str(), STGM_READ))) return false;
  if (!TargetsProgram(*link, program_file_name)) return false;
  // The running updater's own path rather than the application's folder with the
  // updater's name: the application may lie in a subfolder of the updater's.
  if (FAILED(link->SetPath(WideText(updater_path).c_str()))) return false;
  // Asked before the save: where the attribute stands for file permissions (Wine), a
  // save by the superuser would pass over it.
  if (IsReadOnlyFile(shortcut_path)) return false;
  if (before_change && !before_change(shortcut_path)) return false;
  return file->Save(path.c_str(), TRUE) == S_OK;
}

}  // namespace kestrova
