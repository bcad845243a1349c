// Reading and writing the little-endian integers of ZIP records.
#pragma once

#include <cstdint>
#include <string>

namespace kestrova {

inline uint16_t Get16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const unsigned char* p) { return uint32_t(Get16(p)) | (uint32_t(Get16(p + 2)) << 16); }
inline uint64_t Get64(const unsigned char* p) { return uint64_t(Get32(p)) | (uint64_t(Get32(p + 4)) << 32); }

inline void Put16(unsigned char* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void Put32(unsigned char* p, uint32_t v) {
  Put16(p, uint16_t(v));
  Put16(p + 2, uint16_t(v >> 16));
}

inline void Append16(std::string& out, uint16_t v) {
  out.push_back(char(v & 0xFF));
  out.push_back(char(v >> 8));
}
inline void Append32(std::string& out, uint32_t v) {
  Append16(out, uint16_t(v));
  Append16(out, uint16_t(v >> 16));
}
inline void Append64(std::string& out, uint64_t v) {
  Append32(out, uint32_t(v));
  Append32(out, uint32_t(v >> 32));
}

}  // namespace kestrova
