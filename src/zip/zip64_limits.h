// Where the 32-bit fields of ZIP records end and the writer turns to Zip64 records.
#pragma once

#include <cstdint>

namespace kestrova {

/// An entry's size or offset at or past `size`, or more than `entries` entries, need
/// Zip64 records.
struct Zip64Limits {
  uint64_t size = 0xFFFFFFFFu;
  uint64_t entries = 0xFFFF;
};

/// The limits the writer applies: the format's. Internal to the archiver; tests lower
/// them to reach the Zip64 records with small archives.
Zip64Limits& WriterZip64Limits();

}  // namespace kestrova
