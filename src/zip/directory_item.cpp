#include "zip/directory_item.h"

#include "zip/host_system.h"

namespace kestrova {
namespace {

constexpr uint32_t kUnixTypeMask = 0170000;
constexpr uint32_t kUnixDirectory = 0040000;
constexpr uint32_t kUnixSymbolicLink = 0120000;
constexpr uint8_t kUnixHost = 3;

}  // namespace

uint32_t DirectoryItem::UnixMode() const {
  return header.HostSystem() == kUnixHost ? header.external_attributes >> 16 : 0;
}

bool DirectoryItem::IsFolder() const {
  return (header.external_attributes & faDirectory) || (!name.empty() && name.back() == u'/') ||
         (UnixMode() & kUnixTypeMask) == kUnixDirectory;
}

bool DirectoryItem::IsSymbolicLink() const {
  return (UnixMode() & kUnixTypeMask) == kUnixSymbolicLink;
}

void DirectoryItemList::Add(DirectoryItem item) {
  index_.emplace(FileNameKey(item.name), items_.size());
  items_.push_back(std::move(item));
}

void DirectoryItemList::RemoveAt(size_t index) {
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
  Reindex();
}

void DirectoryItemList::Clear() {
  items_.clear();
  index_.clear();
}

std::optional<size_t> DirectoryItemList::Find(std::u16string_view name) const {
  const auto [first, last] = index_.equal_range(FileNameKey(name));
  std::optional<size_t> found;
  for (auto it = first; it != last; ++it) {
    if (!found || it->second < *found) found = it->second;
  }
  return found;
}

void DirectoryItemList::Reindex() {
  index_.clear();
  for (size_t i = 0; i < items_.size(); ++i) index_.emplace(FileNameKey(items_[i].name), i);
}

}  // namespace kestrova
