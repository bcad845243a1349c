#include "interop_support.h"

#include <sys/stat.h>

#include <chrono>
#include <sstream>

namespace kestrova::testing {

Tree Snapshot(const fs::path& root) {
  Tree tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const fs::path& path = it->path();
    TreeEntry entry;
    struct stat st {};
    lstat(path.c_str(), &st);
    if (S_ISLNK(st.st_mode)) {
      entry.type = 'l';
      entry.content = fs::read_symlink(path).string();
    } else if (S_ISDIR(st.st_mode)) {
      entry.type = 'd';
    } else {
      entry.content = ReadFile(path);
      entry.executable = (st.st_mode & S_IXUSR) != 0;
      entry.mtime = st.st_mtime;
    }
    tree[fs::relative(path, root).generic_string()] = std::move(entry);
  }
  return tree;
}

std::string DiffTrees(const Tree& expected, const Tree& actual, unsigned checks) {
  std::ostringstream out;
  int shown = 0;
  const auto note = [&](const std::string& line) {
    if (shown++ < 12) out << "  " << line << "\n";
  };
  for (const auto& [name, want] : expected) {
    const auto found = actual.find(name);
    if (found == actual.end()) {
      note("missing: " + name);
      continue;
    }
    const TreeEntry& got = found->second;
    if (got.type != want.type) {
      note(name + ": type " + got.type + ", expected " + want.type);
    } else if (got.content != want.content) {
      note(name + ": content differs (" + std::to_string(got.content.size()) + " bytes, expected " +
           std::to_string(want.content.size()) + ")");
    } else if ((checks & kExecutableBit) && want.type == 'f' && got.executable != want.executable) {
      note(name + (want.executable ? ": lost its executable bit" : ": became executable"));
    } else if ((checks & kFileTimes) && want.type == 'f' &&
               (got.mtime < want.mtime - 2 || got.mtime > want.mtime + 2)) {
      // DOS times have two-second steps, so only a larger gap is a fault.
      note(name + ": modified " + std::to_string(got.mtime - want.mtime) + " s off");
    }
  }
  for (const auto& [name, entry] : actual) {
    if (!expected.count(name)) note("unexpected: " + name);
  }
  if (shown > 12) out << "  ... " << shown - 12 << " more\n";
  return out.str();
}

void WriteApplicationTree(const fs::path& root) {
  const auto make = [&](const std::string& relative, const std::string& content, bool executable = false) {
    const fs::path path = root / relative;
    fs::create_directories(path.parent_path());
    WriteFile(path, content);
    fs::permissions(path, executable ? fs::perms(0755) : fs::perms(0644));
  };
  make("bin/kestrova-app", "\x7f" "ELF" + RandomBytes(40000, 7), true);
  make("bin/start.sh", "#!/bin/sh\nexec \"$(dirname \"$0\")/kestrova-app\" \"$@\"\n", true);
  make("lib/libengine.so.3", RandomBytes(1 << 20, 11), true);
  make("lib/plugins/libcodec.so", "\x7f" "ELF" + CompressibleText(200000));
  make("share/doc/README", CompressibleText(5000));
  make("share/doc/LICENSE", CompressibleText(1200));
  make("share/logs/history.log", CompressibleText(5 << 20));
  make("share/locale/fr/LC_MESSAGES/app.mo", RandomBytes(3000, 3));
  make("caf\xC3\xA9/na\xC3\xAFve \xE2\x82\xAC.txt", "caf\xC3\xA9 au lait\n");  // café/naïve €.txt
  make("\xE6\x97\xA5\xE6\x9C\xAC/\xF0\x9F\x8E\x89 party.txt", "outside the BMP\n");  // 日本/🎉 party.txt
  make("config/empty.cfg", "");
  make("config/.hidden", "dot file\n");
  make("config/with space/and  two.ini", "[s]\nk=v\n");
  make("a/b/c/d/e/f/deep.txt", "deep\n");
  fs::create_directories(root / "cache/tmp");  // empty folders, one inside another
  fs::create_directories(root / "plugins");
  // Dated well in the past, so a file whose time was not restored cannot pass for
  // one whose time was.
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) {
      fs::last_write_time(entry.path(), fs::last_write_time(entry.path()) -
                                            std::chrono::hours(24 * 300));
    }
  }
}

std::string KestrovaZip() { return std::string(KESTROVA_BIN_DIR) + "/kestrova-zip"; }

bool HavePeer(const std::string& program) {
  const bool found = Shell("command -v " + program + " >/dev/null") == 0;
  EXPECT_TRUE(found) << program << " is not installed; scripts/lib.sh installs the peer tools";
  return found;
}

}  // namespace kestrova::testing
