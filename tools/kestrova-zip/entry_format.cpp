#include "entry_format.h"

namespace kestrova {
namespace {

// File type bits of a Unix mode, the same on every system that writes them.
constexpr uint32_t kTypeMask = 0170000;
constexpr uint32_t kTypeFolder = 0040000;
constexpr uint32_t kTypeLink = 0120000;

char TypeLetter(uint32_t unix_mode, bool is_folder) {
  if ((unix_mode & kTypeMask) == kTypeLink) return 'l';
  if (is_folder || (unix_mode & kTypeMask) == kTypeFolder) return 'd';
  return '-';
}

// Three "rwx" triples, with the set-id and sticky bits where `ls` shows them.
std::string ModeLetters(uint32_t mode) {
  std::string text = "rwxrwxrwx";
  for (int bit = 0; bit < 9; ++bit) {
    if (!(mode & (0400u >> bit))) text[bit] = '-';
  }
  const struct {
    uint32_t flag;
    int position;
    char with_x, without_x;
  } specials[] = {{04000, 2, 's', 'S'}, {02000, 5, 's', 'S'}, {01000, 8, 't', 'T'}};
  for (const auto& special : specials) {
    if (mode & special.flag) {
      text[special.position] = text[special.position] == 'x' ? special.with_x : special.without_x;
    }
  }
  return text;
}

}  // namespace

std::string CountText(uint64_t count, const std::string& one, const std::string& many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string PermissionText(uint32_t unix_mode, bool is_folder, bool read_only) {
  uint32_t mode = unix_mode & 07777;
  if (unix_mode == 0) mode = (is_folder ? 0755 : 0644) & (read_only ? 0555 : 07777);
  return TypeLetter(unix_mode, is_folder) + ModeLetters(mode);
}

}  // namespace kestrova
