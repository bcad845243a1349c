#include "zip/central_directory.h"

#include "zip/little_endian.h"

namespace kestrova {

std::array<unsigned char, kCentralHeaderSize> EncodeCentralHeader(const CentralHeader& h) {
  std::array<unsigned char, kCentralHeaderSize> b{};
  Put32(&b[0], kCentralHeaderSignature);
  Put16(&b[4], h.version_made_by);
  Put16(&b[6], h.version_needed);
  Put16(&b[8], h.flags);
  Put16(&b[10], h.method);
  Put16(&b[12], h.dos_time);
  Put16(&b[14], h.dos_date);
  Put32(&b[16], h.crc32);
  Put32(&b[20], h.compressed_size);
  Put32(&b[24], h.uncompressed_size);
  Put16(&b[28], h.name_length);
  Put16(&b[30], h.extra_length);
  Put16(&b[32], h.comment_length);
  Put16(&b[34], h.disk_start);
  Put16(&b[36], h.internal_attributes);
  Put32(&b[38], h.external_attributes);
  Put32(&b[42], h.local_header_offset);
  return b;
}

std::optional<CentralHeader> DecodeCentralHeader(const unsigned char* b) {
  if (Get32(b) != kCentralHeaderSignature) return std::nullopt;
  CentralHeader h;
  h.version_made_by = Get16(b + 4);
  h.version_needed = Get16(b + 6);
  h.flags = Get16(b + 8);
  h.method = Get16(b + 10);
  h.dos_time = Get16(b + 12);
  h.dos_date = Get16(b + 14);
  h.crc32 = Get32(b + 16);
  h.compressed_size = Get32(b + 20);
  h.uncompressed_size = Get32(b + 24);
  h.name_length = Get16(b + 28);
  h.extra_length = Get16(b + 30);
  h.comment_length = Get16(b + 32);
  h.disk_start = Get16(b + 34);
  h.internal_attributes = Get16(b + 36);
  h.external_attributes = Get32(b + 38);
  h.local_header_offset = Get32(b + 42);
  return h;
}

}  // namespace kestrova
