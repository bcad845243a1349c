// The parts as libraries beside the program, loaded on first use.
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/startup_parts.h"
#include "base/files.h"
#include "base/paths.h"

namespace kestrova {
namespace {

// A part is never unloaded: its code (the toolkit's threads, say) may run until the
// process ends, so the handle only says that the library is ours.
struct LibraryCloser {
  void operator()(void* handle) const { dlclose(handle); }
};
using Library = std::unique_ptr<void, LibraryCloser>;

// Beside the program first, where a publisher puts the updater's files; then beside an
// installed program, and where the package and an install put them, for a copy of the
// installed program in front of an application. Never the build tree: an installed
// program would otherwise run whatever someone puts at the path it was built in.
std::vector<std::string> CandidatePaths(const std::string& file_name) {
  const std::string folder = FolderOf(ExecutablePath());
  return {folder + file_name, folder + "../lib/kestrova/" + file_name,
          "/usr/lib/kestrova/" + file_name, std::string(KESTROVA_INSTALLED_PART_DIR "/") + file_name};
}

template <class Part>
const Part* LoadPart(const std::string& file_name, const char* entry_name, Library& library) {
  std::string why = "not found";
  for (const std::string& path : CandidatePaths(file_name)) {
    if (!FileExists(path)) continue;
    Library candidate(dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL | RTLD_NODELETE));
    if (!candidate) {
      why = dlerror();
      continue;
    }
    using Entry = const Part* (*)();
    const auto entry = reinterpret_cast<Entry>(dlsym(candidate.get(), entry_name));
    const Part* part = entry ? entry() : nullptr;
    if (part && std::strcmp(part->version, KESTROVA_VERSION) == 0) {
      library = std::move(candidate);
      return part;
    }
    why = path + " belongs to another version";
  }
  std::cerr << "kestrova: " << file_name << " cannot be loaded: " << why << std::endl;
  return nullptr;
}

bool Named(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

}  // namespace

// The windows part still finds out whether a named display answers.
bool MayShowWindows() {
  return Named("DISPLAY") || Named("WAYLAND_DISPLAY") || Named("QT_QPA_PLATFORM");
}

const TCheckPart* LoadCheckPart() {
  static Library library;
  static const TCheckPart* const part =
      LoadPart<TCheckPart>("libkestrova-check.so", "kestrova_check_part", library);
  return part;
}

const TWindowsPart* LoadWindowsPart() {
  static Library library;
  static const TWindowsPart* const part =
      LoadPart<TWindowsPart>("libkestrova-windows.so", "kestrova_windows_part", library);
  return part;
}

}  // namespace kestrova
