// The recycle bin through the shell's own delete, the one the Explorer uses, so that
// the user restores a removed item the usual way.
#include <windows.h>
// after windows.h, which it builds on
#include <shellapi.h>

#include "base/files.h"
#include "base/paths.h"
#include "base/wide_text_win32.h"
#include "upgrade/com_apartment.h"
#include "upgrade/trash.h"

namespace kestrova {
namespace {

// The shell takes a list of names, each ended by a zero and the list by a second one;
// it wants backslashes and no separator at the end.
std::wstring ShellSourceList(const std::string& path) {
  std::wstring list = WideText(path);
  for (wchar_t& c : list) {
    if (c == L'/') c = L'\\';
  }
  while (list.size() > 3 && list.back() == L'\\') list.pop_back();
  list.push_back(L'\0');
  list.push_back(L'\0');
  return list;
}

}  // namespace

// The recycle bin records an item's origin as the place it is taken from and cannot be
// told another, so the item goes back there for the moment of the removal.
bool MoveToTrash(const std::string& path, const std::string& original_path) {
  if (path == original_path || QueryFile(original_path) || !RenameReplacing(path, original_path)) {
    return MoveToTrash(path);
  }
  if (MoveToTrash(original_path)) return true;
  RenameReplacing(original_path, path);
  return false;
}

bool MoveToTrash(const std::string& path) {
  // The shell expands wildcards in the names it is given, and resolves relative names
  // against the current folder: either would remove something else.
  if (!IsFullPath(path) || path.find_first_of("*?") != std::string::npos) return false;
  if (!QueryFile(path)) return false;
  TComApartment apartment;
  const std::wstring source = ShellSourceList(path);
  SHFILEOPSTRUCTW operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = source.c_str();
  operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
  const int result = ::SHFileOperationW(&operation);
  // The shell can report success for an operation it gave up on part of the way.
  return result == 0 && !operation.fAnyOperationsAborted && !QueryFile(path);
}

}  // namespace kestrova
