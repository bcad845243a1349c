// CRC-32 of ZIP entries (polynomial 0xEDB88320, reflected, inverted at both ends).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrova {

/// Running CRC-32 over data fed in pieces.
class Crc32 {
 public:
  void Update(const void* data, size_t size);
  uint32_t Value() const { return ~state_; }

 private:
  uint32_t state_ = 0xFFFFFFFFu;
};

/// CRC-32 of one block of bytes.
uint32_t Crc32Of(const void* data, size_t size);

/// CRC-32 of two blocks one after the other, from the CRC-32 of each and the second's
/// length (below 2 GiB): pieces checked apart give the whole's value.
uint32_t Crc32Combine(uint32_t first, uint32_t second, size_t second_length);

}  // namespace kestrova
