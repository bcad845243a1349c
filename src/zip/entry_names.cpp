#include "zip/entry_names.h"

#include <vector>

#include "zip/host_system.h"

namespace kestrova {
namespace {

bool IsSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

std::vector<std::u16string_view> SplitParts(std::u16string_view path) {
  std::vector<std::u16string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || IsSeparator(path[i])) {
      parts.push_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

bool HasDrive(std::u16string_view name) {
  return name.size() >= 2 && name[1] == u':' &&
         ((name[0] >= u'A' && name[0] <= u'Z') || (name[0] >= u'a' && name[0] <= u'z'));
}

}  // namespace

std::u16string NormalizePath(std::u16string_view path) {
  const bool absolute = !path.empty() && path[0] == u'/';
  std::vector<std::u16string_view> kept;
  for (const auto part : SplitParts(path)) {
    if (part.empty() || part == u".") continue;
    if (part == u"..") {
      if (!kept.empty() && kept.back() != u"..") {
        kept.pop_back();
      } else if (!absolute) {
        kept.push_back(part);
      }
      continue;
    }
    kept.push_back(part);
  }
  std::u16string out = absolute ? u"/" : u"";
  for (size_t i = 0; i < kept.size(); ++i) {
    if (i) out += u'/';
    out += kept[i];
  }
  return out;
}

std::u16string MakeStoredName(std::u16string_view full_path, std::u16string_view base_dir,
                              TStorePath mode, bool is_folder) {
  std::u16string name(full_path);
  for (auto& c : name) {
    if (c == u'\\') c = u'/';
  }
  if (mode == spNoPath) {
    while (!name.empty() && name.back() == u'/') name.pop_back();
    name.erase(0, name.rfind(u'/') + 1);
  } else if (mode == spRelativePath) {
    std::u16string base(base_dir);
    for (auto& c : base) {
      if (c == u'\\') c = u'/';
    }
    if (!base.empty() && base.back() != u'/') base += u'/';
    if (!base.empty() && name.size() >= base.size() && name.compare(0, base.size(), base) == 0) {
      name.erase(0, base.size());
    }
  }
  while (!name.empty() && name.back() == u'/') name.pop_back();
  if (name.size() >= 2 && name.compare(name.size() - 2, 2, u"/.") == 0) name.resize(name.size() - 2);
  if (mode != spFullPathWithDrive && kDriveLetters) {
    if (const auto colon = name.find(u':'); colon != std::u16string::npos) name.erase(0, colon + 1);
  }
  if (name.size() >= 2 && name[0] == u'/' && name[1] == u'/') {
    const auto next = name.find(u'/', 2);
    name.erase(0, next == std::u16string::npos ? name.size() : next);
  }
  if (!name.empty() && name[0] == u'/') name.erase(0, 1);
  if (is_folder && !name.empty()) name += u'/';
  return name;
}

std::optional<std::u16string> SafeRelativePath(std::u16string_view entry_name) {
  if (entry_name.empty() || IsSeparator(entry_name[0]) || HasDrive(entry_name)) {
    return std::nullopt;
  }
  if (entry_name.find(u'\0') != std::u16string_view::npos) return std::nullopt;
  if (kDriveLetters && entry_name.find(u':') != std::u16string_view::npos) return std::nullopt;
  std::u16string path;
  for (const auto part : SplitParts(entry_name)) {
    if (part == u"..") return std::nullopt;
    if (part.empty() || part == u".") continue;
    if (!path.empty()) path += u'/';
    path += part;
  }
  return path;
}

}  // namespace kestrova
