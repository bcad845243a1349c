// Where an entry's data lies in the archive, and whether it can be extracted at all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kestrova {

class NativeFile;
struct DirectoryItem;

/// An archiver error found away from the archiver (on a worker thread), to be raised
/// as MakeError(code, argument, detail) where the entry is reported.
struct EntryFailure {
  int code = 0;
  std::string argument;
  std::string detail;
};

/// The entry's compressed data: from `offset`, `size` bytes, never past the directory.
struct EntryData {
  uint64_t offset = 0;
  uint64_t size = 0;
};

/// Checks the entry's method and reads its local header; the failure otherwise.
/// `archive_path` names the archive in a read failure.
std::optional<EntryFailure> LocateEntryData(const NativeFile& archive, const std::string& archive_path,
                                            const DirectoryItem& item, uint64_t directory_start,
                                            EntryData& data);

}  // namespace kestrova
