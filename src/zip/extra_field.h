// Extra-field blocks of ZIP headers: splitting them, the Unicode name block this
// archiver writes, and the blocks of other tools it reads (Zip64 sizes, Unicode path).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

inline constexpr uint16_t kZip64ExtraId = 0x0001;
inline constexpr uint16_t kUnicodeNameExtraId = 0x554E;
inline constexpr uint16_t kUnicodePathExtraId = 0x7075;

/// One block: 16-bit ID, 16-bit size, data.
struct ExtraBlock {
  uint16_t id = 0;
  std::string_view data;
};

/// The blocks of an extra field; a size running past the end is cut to what is left.
std::vector<ExtraBlock> SplitExtraField(std::string_view extra);

/// The Unicode name block (ID 0x554E, "NUCX", length, UTF-16LE name).
std::string EncodeUnicodeNameBlock(std::u16string_view name);
/// The name a Unicode name block holds, when its signature is right.
std::optional<std::u16string> DecodeUnicodeNameBlock(std::string_view data);
/// The UTF-8 name of an Info-ZIP Unicode path block, when it belongs to `byte_name`.
std::optional<std::string> DecodeUnicodePathBlock(std::string_view data,
                                                  std::string_view byte_name);

/// The 32-bit fields a Zip64 block may replace; each is read from the block only
/// when its field holds the all-ones marker, in the order the format lists them.
struct Zip64Fields {
  uint64_t uncompressed_size = 0;
  uint64_t compressed_size = 0;
  uint64_t local_header_offset = 0;
  uint32_t disk_start = 0;
};
/// Applies a Zip64 block; false when the block is shorter than the marked fields need.
bool ApplyZip64Block(std::string_view data, Zip64Fields& fields);

/// The 32-bit size and offset fields' marker that sends a reader to the Zip64 block.
inline constexpr uint32_t kZip64Marker = 0xFFFFFFFFu;
/// The whole Zip64 block, ID and size included, with the values of the fields whose
/// 32-bit counterpart holds the marker (`marked`, in the order of Zip64Fields).
std::string EncodeZip64Block(const Zip64Fields& values, const Zip64Fields& marked);
/// The extra field without its Zip64 blocks.
std::string WithoutZip64Block(std::string_view extra);

}  // namespace kestrova
