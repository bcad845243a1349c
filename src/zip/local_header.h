// The 30-byte local file header that precedes each entry's name, extra field and data.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace kestrova {

inline constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
inline constexpr size_t kLocalHeaderSize = 30;

/// Fields of one local header, signature excluded.
struct LocalHeader {
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

  /// Bytes from the header's start to the entry's data.
  uint64_t DataOffset() const { return kLocalHeaderSize + name_length + extra_length; }
};

std::array<unsigned char, kLocalHeaderSize> EncodeLocalHeader(const LocalHeader& header);
/// The header in `bytes`, or nothing when the signature is not there.
std::optional<LocalHeader> DecodeLocalHeader(const unsigned char* bytes);

}  // namespace kestrova
