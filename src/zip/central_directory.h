// The 46-byte central directory header, one per entry, followed by the entry's name,
// extra field and comment.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace kestrova {

inline constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
inline constexpr size_t kCentralHeaderSize = 46;

/// General-purpose flag bits the archiver looks at.
inline constexpr uint16_t kFlagEncrypted = 0x0001;
inline constexpr uint16_t kFlagFolder = 0x0002;  // what this writer puts on folders
inline constexpr uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr uint16_t kFlagUtf8Name = 0x0800;

/// Fields of one central directory header, signature excluded.
struct CentralHeader {
  uint16_t version_made_by = 20;
  uint16_t version_needed = 20;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t dos_time = 0;
  uint16_t dos_date = 0;
  uint32_t crc32 = 0;
  uint32_t compressed_size = 0;
  uint32_t uncompressed_size = 0;
  uint16_t name_length = 0;
  uint16_t extra_length = 0;
  uint16_t comment_length = 0;
  uint16_t disk_start = 0;
  uint16_t internal_attributes = 0;
  uint32_t external_attributes = 0;
  uint32_t local_header_offset = 0;

  uint8_t HostSystem() const { return uint8_t(version_made_by >> 8); }
  uint32_t DosDateTime() const { return (uint32_t(dos_date) << 16) | dos_time; }
  void SetDosDateTime(uint32_t value) {
    dos_date = uint16_t(value >> 16);
    dos_time = uint16_t(value);
  }
};

std::array<unsigned char, kCentralHeaderSize> EncodeCentralHeader(const CentralHeader& header);
/// The header in `bytes`, or nothing when the signature is not there.
std::optional<CentralHeader> DecodeCentralHeader(const unsigned char* bytes);

}  // namespace kestrova
