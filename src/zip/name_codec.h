// Conversion of entry names between the wide form the archiver works with and the
// bytes stored in the headers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrova {

/// A name as it goes into a header.
struct EncodedName {
  std::string bytes;
  bool utf8_flag = false;  // general-purpose bit 11 must be set
};

/// Stores names as UTF-8 and marks the non-ASCII ones with bit 11, so that every
/// current unzip shows them right; ASCII names need no mark.
EncodedName EncodeStoredName(std::u16string_view name);

/// Reads a stored name: UTF-8 when bit 11 says so or the bytes are valid UTF-8
/// (what tools on Unix write without the mark), else the DOS code page 437.
std::u16string DecodeStoredName(std::string_view bytes, uint16_t flags);

}  // namespace kestrova
