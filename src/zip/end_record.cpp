#include "zip/end_record.h"

#include <vector>

#include "base/files.h"
#include "base/native_file.h"
#include "zip/little_endian.h"

namespace kestrova {
namespace {

// Reads the Zip64 end record, first where the locator says, then right in front of
// the locator (where it is when bytes were put in front of the archive).
bool ReadZip64EndRecord(const NativeFile& file, uint64_t locator_position,
                        const unsigned char* locator, EndRecord& found) {
  unsigned char record[kZip64EndRecordSize];
  const uint64_t candidates[] = {Get64(locator + 8), locator_position >= kZip64EndRecordSize
                                                         ? locator_position - kZip64EndRecordSize
                                                         : UINT64_MAX};
  for (const uint64_t at : candidates) {
    if (at > locator_position || locator_position - at < kZip64EndRecordSize) continue;
    if (file.ReadAt(at, record, sizeof record) != sizeof record) continue;
    if (Get32(record) != kZip64EndRecordSignature) continue;
    found.position = at;
    found.total_entries = Get64(record + 32);
    found.directory_size = Get64(record + 40);
    found.directory_offset = Get64(record + 48);
    found.zip64 = true;
    return true;
  }
  return false;
}

}  // namespace

std::string EncodeEndRecord(uint16_t entries, uint32_t directory_size,
                            uint32_t directory_offset, const std::string& comment) {
  std::string out;
  out.reserve(kEndRecordSize + comment.size());
  Append32(out, kEndRecordSignature);
  Append16(out, 0);
  Append16(out, 0);
  Append16(out, entries);
  Append16(out, entries);
  Append32(out, directory_size);
  Append32(out, directory_offset);
  Append16(out, uint16_t(comment.size()));
  out += comment;
  return out;
}

std::string EncodeZip64EndRecords(uint64_t entries, uint64_t directory_size,
                                  uint64_t directory_offset) {
  constexpr uint16_t kVersionWithZip64 = 45;
  std::string out;
  Append32(out, kZip64EndRecordSignature);
  Append64(out, kZip64EndRecordSize - 12);  // what follows this field
  Append16(out, kVersionWithZip64);
  Append16(out, kVersionWithZip64);
  Append32(out, 0);  // this disk, and the directory's
  Append32(out, 0);
  Append64(out, entries);  // on this disk, and in all
  Append64(out, entries);
  Append64(out, directory_size);
  Append64(out, directory_offset);
  Append32(out, kZip64LocatorSignature);
  Append32(out, 0);
  Append64(out, directory_offset + directory_size);
  Append32(out, 1);  // disks in all
  return out;
}

EndRecordSearch FindEndRecord(const NativeFile& file, uint64_t file_size, EndRecord& found) {
  const uint64_t window = std::min(file_size, kEndSearchWindow);
  if (window < kEndRecordSize) return EndRecordSearch::kNotFound;
  const uint64_t window_start = file_size - window;
  std::vector<unsigned char> bytes(window);
  if (file.ReadAt(window_start, bytes.data(), bytes.size()) != bytes.size()) {
    return EndRecordSearch::kNotFound;
  }
  for (size_t i = bytes.size() - kEndRecordSize + 1; i-- > 0;) {
    if (Get32(&bytes[i]) != kEndRecordSignature) continue;
    const unsigned char* record = &bytes[i];
    const uint16_t comment_length = Get16(record + 20);
    if (i + kEndRecordSize + comment_length != bytes.size()) continue;

    found = EndRecord{};
    found.position = window_start + i;
    found.total_entries = Get16(record + 10);
    found.directory_size = Get32(record + 12);
    found.directory_offset = Get32(record + 16);
    found.comment.assign(reinterpret_cast<const char*>(record + kEndRecordSize), comment_length);

    if (found.position >= kZip64LocatorSize) {
      unsigned char locator[kZip64LocatorSize];
      const uint64_t locator_position = found.position - kZip64LocatorSize;
      if (file.ReadAt(locator_position, locator, sizeof locator) == sizeof locator &&
          Get32(locator) == kZip64LocatorSignature) {
        if (!ReadZip64EndRecord(file, locator_position, locator, found)) {
          return EndRecordSearch::kZip64RecordMissing;
        }
      }
    }
    if (found.directory_size > found.position) continue;
    return EndRecordSearch::kFound;
  }
  return EndRecordSearch::kNotFound;
}

}  // namespace kestrova
