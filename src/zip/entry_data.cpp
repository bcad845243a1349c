#include "zip/entry_data.h"

#include <algorithm>

#include "base/native_file.h"
#include "zip/archiver_error.h"
#include "zip/central_directory.h"
#include "zip/directory_item.h"
#include "zip/local_header.h"

namespace kestrova {
namespace {

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
constexpr uint16_t kMethodDeflate64 = 9;

}  // namespace

std::optional<EntryFailure> LocateEntryData(const NativeFile& archive, const std::string& archive_path,
                                            const DirectoryItem& item, uint64_t directory_start,
                                            EntryData& data) {
  const uint16_t method = item.header.method;
  if (method == kMethodDeflate64) return EntryFailure{kErrDeflate64, {}, {}};
  if ((method != kMethodStored && method != kMethodDeflated) || (item.header.flags & kFlagEncrypted)) {
    return EntryFailure{kErrInvalidCheckSum, {}, {}};
  }
  // Offsets and sizes come from the archive: each sum is checked against the room
  // left, so none can wrap around and point back into the file.
  if (item.local_header_offset > directory_start ||
      directory_start - item.local_header_offset < kLocalHeaderSize) {
    return EntryFailure{kErrInvalidCheckSum, {}, {}};
  }
  unsigned char fixed[kLocalHeaderSize];
  size_t got = 0;
  try {
    got = archive.ReadAt(item.local_header_offset, fixed, sizeof fixed);
  } catch (const NativeFileError& error) {
    return EntryFailure{kErrCannotReadFile, archive_path, error.what()};
  }
  const auto local = got == sizeof fixed ? DecodeLocalHeader(fixed) : std::nullopt;
  if (!local) return EntryFailure{kErrInvalidCheckSum, {}, {}};
  data.offset = item.local_header_offset + local->DataOffset();
  const uint64_t room = data.offset < directory_start ? directory_start - data.offset : 0;
  data.size = std::min(item.compressed_size, room);
  return std::nullopt;
}

}  // namespace kestrova
