#include "zip/local_header.h"

#include "zip/little_endian.h"

namespace kestrova {

std::array<unsigned char, kLocalHeaderSize> EncodeLocalHeader(const LocalHeader& h) {
  std::array<unsigned char, kLocalHeaderSize> b{};
  Put32(&b[0], kLocalHeaderSignature);
  Put16(&b[4], h.version_needed);
  Put16(&b[6], h.flags);
  Put16(&b[8], h.method);
  Put16(&b[10], h.dos_time);
  Put16(&b[12], h.dos_date);
  Put32(&b[14], h.crc32);
  Put32(&b[18], h.compressed_size);
  Put32(&b[22], h.uncompressed_size);
  Put16(&b[26], h.name_length);
  Put16(&b[28], h.extra_length);
  return b;
}

std::optional<LocalHeader> DecodeLocalHeader(const unsigned char* b) {
  if (Get32(b) != kLocalHeaderSignature) return std::nullopt;
  LocalHeader h;
  h.version_needed = Get16(b + 4);
  h.flags = Get16(b + 6);
  h.method = Get16(b + 8);
  h.dos_time = Get16(b + 10);
  h.dos_date = Get16(b + 12);
  h.crc32 = Get32(b + 14);
  h.compressed_size = Get32(b + 18);
  h.uncompressed_size = Get32(b + 22);
  h.name_length = Get16(b + 26);
  h.extra_length = Get16(b + 28);
  return h;
}

}  // namespace kestrova
