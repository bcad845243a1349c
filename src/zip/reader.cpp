// ZipArchiver: reading an archive's directory, tolerating a prefix or damage.
#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "base/text.h"
#include "zip/end_record.h"
#include "zip/extra_field.h"
#include "zip/inflate_stream.h"
#include "zip/little_endian.h"
#include "zip/local_header.h"
#include "zip/name_codec.h"
#include "zip/signature_scanner.h"
#include "zip/zip_archiver.h"

namespace kestrova {
namespace {

constexpr uint16_t kMaxScannedExtraLength = 260;
constexpr SignatureBytes kLocalSignatureBytes = {'P', 'K', 3, 4};
constexpr SignatureBytes kDescriptorSignatureBytes = {'P', 'K', 7, 8};

// The entry's name from the Unicode blocks when there is one, else from its bytes.
std::u16string EntryName(const DirectoryItem& item) {
  std::optional<std::u16string> from_path_block;
  for (const auto& block : SplitExtraField(item.extra)) {
    if (block.id == kUnicodeNameExtraId) {
      if (auto name = DecodeUnicodeNameBlock(block.data)) return *name;
    } else if (block.id == kUnicodePathExtraId && !from_path_block) {
      if (auto utf8 = DecodeUnicodePathBlock(block.data, item.byte_name)) {
        from_path_block = Utf8ToUtf16(*utf8);
      }
    }
  }
  if (from_path_block) return *from_path_block;
  return DecodeStoredName(item.byte_name, item.header.flags);
}

// Whether a local header at `at` belongs to the entry `item`; `file` is the archive
// or a scanner over it.
template <typename Reader>
bool LocalHeaderMatches(const Reader& file, uint64_t at, const DirectoryItem& item) {
  unsigned char fixed[kLocalHeaderSize];
  if (file.ReadAt(at, fixed, sizeof fixed) != sizeof fixed) return false;
  const auto local = DecodeLocalHeader(fixed);
  if (!local || local->name_length != item.byte_name.size()) return false;
  std::string name(local->name_length, '\0');
  return file.ReadAt(at + kLocalHeaderSize, name.data(), name.size()) == name.size() &&
         name == item.byte_name;
}

// Sizes and CRC of an entry written as a stream, from the data descriptor after its
// data; returns where the descriptor ends. Deflated data shows its own end; for
// stored data the descriptor is the first one whose size fits the distance.
std::optional<uint64_t> ReadDataDescriptor(const NativeFile& file, SignatureScanner& descriptors,
                                           uint64_t& inflate_budget, uint64_t data,
                                           uint16_t method, uint64_t file_size,
                                           DirectoryItem& item) {
  constexpr uint32_t kDescriptorSignature = 0x08074B50;
  unsigned char d[16];
  const auto read_at = [&](uint64_t at) -> std::optional<uint64_t> {
    if (file.ReadAt(at, d, sizeof d) < 12) return std::nullopt;
    const size_t skip = Get32(d) == kDescriptorSignature ? 4 : 0;
    if (Get32(d + skip + 4) != at - data) return std::nullopt;
    item.header.crc32 = Get32(d + skip);
    item.compressed_size = item.header.compressed_size = Get32(d + skip + 4);
    item.uncompressed_size = item.header.uncompressed_size = Get32(d + skip + 8);
    return at + skip + 12;
  };
  if (method == 8) {
    const auto length = DeflateStreamLength(file, data, file_size, inflate_budget);
    return length ? read_at(data + *length) : std::nullopt;
  }
  for (uint64_t from = data;;) {
    const auto hit = descriptors.Next(from);
    if (!hit) return std::nullopt;
    if (const auto end = read_at(*hit)) return end;
    from = *hit + 1;
  }
}

}  // namespace

void ZipArchiver::ReadDirectory() {
  items_.Clear();
  comment_.clear();
  prefix_ = 0;
  scanned_ = false;
  directory_start_ = 0;
  const uint64_t size = file_.Size();
  if (size == 0) return;  // created but not yet closed: an empty archive

  EndRecord end;
  switch (FindEndRecord(file_, size, end)) {
    case EndRecordSearch::kZip64RecordMissing:
      Raise(kErrZip64EndRecordMissing);
    case EndRecordSearch::kNotFound:
      if (!OpenCorruptedArchives) Raise(kErrArchiveDamaged);
      ScanDamagedArchive(size);
      return;
    case EndRecordSearch::kFound:
      break;
  }
  comment_ = end.comment;
  if (!ReadCentralDirectory(end, size)) {
    if (!OpenCorruptedArchives) Raise(kErrArchiveDamagedSizes);
    ScanDamagedArchive(size);
    return;
  }
  DetectPrefix(end.directory_offset);
}

bool ZipArchiver::ReadCentralDirectory(const EndRecord& end, uint64_t file_size) {
  const uint64_t start = end.DirectoryStart();
  if (end.total_entries > end.directory_size / kCentralHeaderSize) return false;
  // A Zip64 directory beyond what this process can address would be cut short by the
  // conversion below and then read as a smaller, different directory.
  if (end.directory_size > std::numeric_limits<size_t>::max()) return false;
  std::vector<unsigned char> directory(static_cast<size_t>(end.directory_size));
  if (file_.ReadAt(start, directory.data(), directory.size()) != directory.size()) return false;

  items_.Reserve(static_cast<size_t>(end.total_entries));
  uint64_t compressed_total = 0;
  size_t at = 0;
  for (uint64_t i = 0; i < end.total_entries; ++i) {
    if (at + kCentralHeaderSize > directory.size()) return false;
    const auto header = DecodeCentralHeader(&directory[at]);
    if (!header) return false;
    const size_t variable = size_t{header->name_length} + header->extra_length + header->comment_length;
    if (at + kCentralHeaderSize + variable > directory.size()) return false;
    const char* p = reinterpret_cast<const char*>(&directory[at + kCentralHeaderSize]);

    DirectoryItem item;
    item.header = *header;
    item.byte_name.assign(p, header->name_length);
    item.extra.assign(p + header->name_length, header->extra_length);
    item.comment.assign(p + header->name_length + header->extra_length, header->comment_length);
    Zip64Fields fields{header->uncompressed_size, header->compressed_size,
                       header->local_header_offset, header->disk_start};
    for (const auto& block : SplitExtraField(item.extra)) {
      if (block.id == kZip64ExtraId && ApplyZip64Block(block.data, fields)) item.zip64 = true;
    }
    item.uncompressed_size = fields.uncompressed_size;
    item.compressed_size = fields.compressed_size;
    item.local_header_offset = fields.local_header_offset;
    item.name = EntryName(item);
    // Compared by what is left, since a Zip64 size near 2^64 would wrap a plain sum
    // back to a small number.
    if (item.compressed_size > file_size - compressed_total) {
      items_.Clear();
      return false;
    }
    compressed_total += item.compressed_size;
    items_.Add(std::move(item));
    at += kCentralHeaderSize + variable;
  }
  directory_start_ = start;
  return true;
}

void ZipArchiver::DetectPrefix(uint64_t recorded_directory_offset) {
  if (items_.empty()) return;
  const DirectoryItem& first = items_[0];
  const uint64_t recorded = first.local_header_offset;
  uint64_t prefix = 0;
  // Bytes put in front of an archive shift its directory by the same amount as its
  // entries, so the directory's real position gives the likely prefix at once.
  const uint64_t shift = directory_start_ >= recorded_directory_offset
                             ? directory_start_ - recorded_directory_offset
                             : 0;
  if (recorded <= directory_start_ - shift && LocalHeaderMatches(file_, recorded + shift, first)) {
    prefix = shift;
  } else if (!LocalHeaderMatches(file_, recorded, first)) {
    SignatureScanner scanner(file_, directory_start_, kLocalSignatureBytes);
    for (uint64_t from = recorded;;) {
      const auto hit = scanner.Next(from);
      if (!hit) return;  // the entries cannot be located; leave the offsets as they are
      if (LocalHeaderMatches(scanner, *hit, first)) {
        prefix = *hit - recorded;
        break;
      }
      from = *hit + 1;
    }
  }
  prefix_ = prefix;
  if (prefix == 0) return;
  for (auto& item : items_) {
    // An offset that would wrap lies beyond any file; its entry fails on its own.
    item.local_header_offset = item.local_header_offset > UINT64_MAX - prefix
                                   ? UINT64_MAX
                                   : item.local_header_offset + prefix;
    item.header.local_header_offset = uint32_t(std::min<uint64_t>(item.local_header_offset, 0xFFFFFFFFu));
  }
}

void ZipArchiver::ScanDamagedArchive(uint64_t file_size) {
  items_.Clear();
  scanned_ = true;
  SignatureScanner headers(file_, file_size, kLocalSignatureBytes);
  SignatureScanner descriptors(file_, file_size, kDescriptorSignatureBytes);
  // Streamed entries are measured by inflating them. In a sound archive the scan moves
  // past each stream it measured, so their lengths add up to the file at most; headers
  // planted inside one long stream would each inflate it again to the end. The budget
  // keeps the scan linear: once spent, such entries keep their local header's sizes.
  uint64_t inflate_budget = 2 * file_size + (uint64_t{1} << 20);
  uint64_t from = 0;
  while (const auto hit = headers.Next(from)) {
    unsigned char fixed[kLocalHeaderSize];
    const bool complete = headers.ReadAt(*hit, fixed, sizeof fixed) == sizeof fixed;
    const auto local = complete ? DecodeLocalHeader(fixed) : std::nullopt;
    if (!local || local->compressed_size >= file_size || local->extra_length > kMaxScannedExtraLength ||
        *hit + local->DataOffset() > file_size) {
      from = *hit + 1;
      continue;
    }
    DirectoryItem item;
    item.byte_name.resize(local->name_length);
    headers.ReadAt(*hit + kLocalHeaderSize, item.byte_name.data(), item.byte_name.size());
    item.extra.resize(local->extra_length);
    headers.ReadAt(*hit + kLocalHeaderSize + local->name_length, item.extra.data(), item.extra.size());
    CentralHeader& h = item.header;
    h.version_needed = local->version_needed;
    h.flags = local->flags;
    h.method = local->method;
    h.dos_time = local->dos_time;
    h.dos_date = local->dos_date;
    h.crc32 = local->crc32;
    h.compressed_size = local->compressed_size;
    h.uncompressed_size = local->uncompressed_size;
    h.name_length = local->name_length;
    h.extra_length = local->extra_length;
    h.local_header_offset = uint32_t(*hit);
    item.name = EntryName(item);
    // Only a name ending in "/" makes a folder: an empty file stays a file.
    const bool folder = !item.name.empty() && item.name.back() == u'/';
    h.external_attributes = folder ? faDirectory : faArchive;
    item.uncompressed_size = local->uncompressed_size;
    item.compressed_size = local->compressed_size;
    item.local_header_offset = *hit;
    const uint64_t data = *hit + local->DataOffset();
    from = local->compressed_size > 0 ? data + local->compressed_size : *hit + 4;
    if (local->flags & kFlagDataDescriptor) {
      if (const auto end = ReadDataDescriptor(file_, descriptors, inflate_budget, data, local->method, file_size, item)) from = *end;
    }
    items_.Add(std::move(item));
  }
  if (items_.empty()) Raise(kErrInvalidArchive);
  directory_start_ = file_size;
}

}  // namespace kestrova
