// The end-of-central-directory record, its Zip64 counterpart and locator, and the
// search for them at the end of an archive.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kestrova {

class NativeFile;

inline constexpr uint32_t kEndRecordSignature = 0x06054B50;
inline constexpr size_t kEndRecordSize = 22;
inline constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
inline constexpr size_t kZip64LocatorSize = 20;
inline constexpr uint32_t kZip64EndRecordSignature = 0x06064B50;
inline constexpr size_t kZip64EndRecordSize = 56;
/// How far from the end the search looks: the record plus the longest comment.
inline constexpr uint64_t kEndSearchWindow = 65600;

/// What the end records say about the central directory, Zip64 values applied.
struct EndRecord {
  uint64_t position = 0;  // of the record that gives the directory's size
  uint64_t total_entries = 0;
  uint64_t directory_size = 0;
  uint64_t directory_offset = 0;  // as recorded, prefix not counted
  std::string comment;
  bool zip64 = false;

  /// Where the directory really starts: just before the record that sizes it.
  uint64_t DirectoryStart() const { return position - directory_size; }
};

/// The 22-byte record followed by the comment.
std::string EncodeEndRecord(uint16_t entries, uint32_t directory_size,
                            uint32_t directory_offset, const std::string& comment);

/// The Zip64 end record and its locator, which go right after the directory.
std::string EncodeZip64EndRecords(uint64_t entries, uint64_t directory_size,
                                  uint64_t directory_offset);

enum class EndRecordSearch { kFound, kNotFound, kZip64RecordMissing };

/// Looks for the end record nearest the end whose comment reaches exactly to the end
/// of the file, and for the Zip64 records in front of it.
EndRecordSearch FindEndRecord(const NativeFile& file, uint64_t file_size, EndRecord& found);

}  // namespace kestrova
