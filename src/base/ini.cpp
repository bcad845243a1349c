#include "base/ini.h"

#include <limits>

#include "base/text.h"

namespace kestrova {

std::optional<int32_t> ParseProfileInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  bool hex = false;
  if (!text.empty() && (text.front() == '$' || text.front() == 'x' || text.front() == 'X')) {
    hex = true;
    text.remove_prefix(1);
  } else if (text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    hex = true;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    const int digit = hex ? HexDigitValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
    if (digit < 0) return std::nullopt;
    value = value * (hex ? 16 : 10) + uint64_t(digit);
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  if (hex) {
    // Hexadecimal fills all 32 bits, so $FFFFFFFF is -1.
    const uint32_t bits = negative ? uint32_t(0) - uint32_t(value) : uint32_t(value);
    return static_cast<int32_t>(bits);
  }
  const int64_t signed_value = negative ? -int64_t(value) : int64_t(value);
  if (signed_value < std::numeric_limits<int32_t>::min() ||
      signed_value > std::numeric_limits<int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int32_t>(signed_value);
}

// Integers and flags read the profile string and apply the rule of the integer
// profile function to it: an absent key and an empty value both give the default.
int32_t IniFile::ReadInteger(std::string_view section, std::string_view key, int32_t fallback) const {
  return ParseProfileInteger(ReadString(section, key, "")).value_or(fallback);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

}  // namespace kestrova
