// One archive entry as the archiver keeps it, and the ordered list of them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "zip/archiver_types.h"
#include "zip/central_directory.h"

namespace kestrova {

/// An entry: its central directory header plus what the archiver needs around it.
struct DirectoryItem {
  CentralHeader header;
  std::u16string name;     // wide stored name, "/" separators
  std::string byte_name;   // the name's bytes in the headers
  std::string extra;       // extra field of the central header, as stored
  std::string comment;
  std::string source_path;  // native path of the file to add
  int level = 0;            // deflate level to use; 0 stores
  bool modified = false;    // must be (re)written by the next commit
  TProcessOperation operation = poNone;
  bool zip64 = false;
  uint64_t uncompressed_size = 0;  // 64-bit values, Zip64 applied
  uint64_t compressed_size = 0;
  uint64_t local_header_offset = 0;
  int64_t source_mtime = 0;
  bool selected = false;

  bool IsFolder() const;
  /// The Unix mode stored by a Unix host, or 0.
  uint32_t UnixMode() const;
  bool IsSymbolicLink() const;
};

/// Entries in file order with an index of their names. Names are compared as the
/// file system compares them (FileNameKey), so an add on a system that tells case
/// apart keeps "README" and "readme" as two entries instead of replacing one.
class DirectoryItemList {
 public:
  size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  DirectoryItem& operator[](size_t i) { return items_[i]; }
  const DirectoryItem& operator[](size_t i) const { return items_[i]; }
  auto begin() { return items_.begin(); }
  auto end() { return items_.end(); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

  void Reserve(size_t count) { items_.reserve(count); }
  void Add(DirectoryItem item);
  void RemoveAt(size_t index);
  void Clear();
  /// Index of the first entry with this name.
  std::optional<size_t> Find(std::u16string_view name) const;

 private:
  void Reindex();

  std::vector<DirectoryItem> items_;
  std::unordered_multimap<std::u16string, size_t> index_;
};

}  // namespace kestrova
