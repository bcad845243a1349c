// The freedesktop.org trash: the home trash when the item lies on the home trash's
// file system, else the trash at the top of the item's own file system
// ($topdir/.Trash/$uid when an administrator has prepared it, else $topdir/.Trash-$uid).
// An item is moved by rename only, so a trash is used only on the item's file system.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <optional>

#include "base/files.h"
#include "base/paths.h"
#include "upgrade/trash.h"

namespace kestrova {
namespace {

std::optional<dev_t> DeviceOf(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
  return st.st_dev;
}

bool IsPrivateFolder(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

// Creates `path` as a folder only its owner may enter, or takes it when it is one.
bool EnsurePrivateFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return IsPrivateFolder(path);
}

// Makes every missing folder of an absolute path, private to the user.
void MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    ::mkdir(path.substr(0, slash).c_str(), 0700);
    if (slash == std::string::npos) return;
  }
}

std::string HomeTrash() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') return std::string(data) + "/Trash";
  const char* home = std::getenv("HOME");
  if (!home || *home != '/') return "";
  return std::string(home) + "/.local/share/Trash";
}

// The nearest existing folder of `path`, to learn the file system a trash would lie on.
std::string ExistingAncestor(std::string path) {
  while (!path.empty() && !DeviceOf(path)) {
    const size_t slash = path.rfind('/');
    path = slash == 0 ? "/" : path.substr(0, slash == std::string::npos ? 0 : slash);
  }
  return path;
}

// The mount point of the file system that holds `path`.
std::string TopDirOf(const std::string& path, dev_t device) {
  std::string top = path;
  while (top != "/") {
    const size_t slash = top.rfind('/');
    const std::string parent = slash == 0 ? "/" : top.substr(0, slash);
    if (DeviceOf(parent) != device) break;
    top = parent;
  }
  return top;
}

// The trash folder for an item on `device` whose full path is `path`, with the
// prefix its info files record paths against ("" for the home trash, which records
// full paths).
struct Trash {
  std::string folder;
  std::string top;
};

std::optional<Trash> TrashFor(const std::string& path, dev_t device) {
  const std::string home = HomeTrash();
  if (!home.empty() && DeviceOf(ExistingAncestor(home)) == device) return Trash{home, ""};
  const std::string top = TopDirOf(path, device);
  const std::string base = top == "/" ? "" : top;
  const std::string shared = base + "/.Trash";
  struct stat st {};
  const std::string uid = std::to_string(::getuid());
  if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
    return Trash{shared + "/" + uid, top};
  }
  return Trash{base + "/.Trash-" + uid, top};
}

std::string PercentEncoded(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      out.push_back(static_cast<char>(c));
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string DeletionDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local {};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

// Claims a name in the trash by creating its info file exclusively, as the rules ask,
// so that two removals never take the same name.
std::optional<std::string> ClaimName(const std::string& trash, const std::string& base,
                                     const std::string& info) {
  for (int n = 1; n < 10000; ++n) {
    const std::string name = n == 1 ? base : base + "." + std::to_string(n);
    const std::string info_path = trash + "/info/" + name + ".trashinfo";
    const int fd = ::open(info_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return std::nullopt;
    }
    const bool written = ::write(fd, info.data(), info.size()) == static_cast<ssize_t>(info.size());
    ::close(fd);
    if (written && ::access((trash + "/files/" + name).c_str(), F_OK) != 0) return name;
    ::unlink(info_path.c_str());
    if (!written) return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

bool MoveToTrash(const std::string& path) { return MoveToTrash(path, path); }

bool MoveToTrash(const std::string& path, const std::string& original_path) {
  if (path.empty() || path.front() != '/' || original_path.empty() || original_path.front() != '/') return false;
  std::string item = path;
  while (item.size() > 1 && item.back() == '/') item.pop_back();
  std::string original = original_path;
  while (original.size() > 1 && original.back() == '/') original.pop_back();
  const auto device = DeviceOf(item);
  if (!device) return false;
  const auto trash = TrashFor(item, *device);
  if (!trash) return false;
  // The home trash may lie in folders not made yet; a shared ".Trash" is never made.
  if (trash->top.empty()) MakeFolders(trash->folder.substr(0, trash->folder.rfind('/')));
  if (!EnsurePrivateFolder(trash->folder) || !EnsurePrivateFolder(trash->folder + "/files") ||
      !EnsurePrivateFolder(trash->folder + "/info") || DeviceOf(trash->folder) != device) {
    return false;
  }
  // The home trash records full paths, a file system's own trash paths from its top.
  const bool on_top = !trash->top.empty() && trash->top != "/" && original.starts_with(trash->top + "/");
  const std::string recorded = on_top ? original.substr(trash->top.size() + 1) : original;
  const std::string info =
      "[Trash Info]\nPath=" + PercentEncoded(recorded) + "\nDeletionDate=" + DeletionDate() + "\n";
  const auto name = ClaimName(trash->folder, FileNameOf(original), info);
  if (!name) return false;
  if (::rename(item.c_str(), (trash->folder + "/files/" + *name).c_str()) == 0) return true;
  ::unlink((trash->folder + "/info/" + *name + ".trashinfo").c_str());
  return false;
}

}  // namespace kestrova
