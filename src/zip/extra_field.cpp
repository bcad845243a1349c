#include "zip/extra_field.h"

#include "zip/crc32.h"
#include "zip/little_endian.h"

namespace kestrova {
namespace {

const unsigned char* Bytes(std::string_view s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

}  // namespace

std::vector<ExtraBlock> SplitExtraField(std::string_view extra) {
  std::vector<ExtraBlock> blocks;
  size_t at = 0;
  while (at + 4 <= extra.size()) {
    const uint16_t id = Get16(Bytes(extra) + at);
    const size_t size = std::min<size_t>(Get16(Bytes(extra) + at + 2), extra.size() - at - 4);
    blocks.push_back({id, extra.substr(at + 4, size)});
    at += 4 + size;
  }
  return blocks;
}

std::string EncodeUnicodeNameBlock(std::u16string_view name) {
  std::string block;
  block.reserve(12 + 2 * name.size());
  Append16(block, kUnicodeNameExtraId);
  Append16(block, uint16_t(2 * name.size() + 8));
  block += "NUCX";
  Append32(block, uint32_t(name.size()));
  for (const char16_t c : name) Append16(block, c);
  return block;
}

std::optional<std::u16string> DecodeUnicodeNameBlock(std::string_view data) {
  if (data.size() < 8 || data.substr(0, 4) != "NUCX") return std::nullopt;
  const uint32_t length = Get32(Bytes(data) + 4);
  if (length > (data.size() - 8) / 2) return std::nullopt;
  std::u16string name(length, u'\0');
  for (uint32_t i = 0; i < length; ++i) name[i] = char16_t(Get16(Bytes(data) + 8 + 2 * i));
  return name;
}

std::optional<std::string> DecodeUnicodePathBlock(std::string_view data,
                                                  std::string_view byte_name) {
  if (data.size() < 5 || data[0] != 1) return std::nullopt;
  if (Get32(Bytes(data) + 1) != Crc32Of(byte_name.data(), byte_name.size())) return std::nullopt;
  return std::string(data.substr(5));
}

bool ApplyZip64Block(std::string_view data, Zip64Fields& fields) {
  size_t at = 0;
  const auto take64 = [&](uint64_t& field) {
    if (field != 0xFFFFFFFFu) return true;
    if (at + 8 > data.size()) return false;
    field = Get64(Bytes(data) + at);
    at += 8;
    return true;
  };
  if (!take64(fields.uncompressed_size) || !take64(fields.compressed_size) ||
      !take64(fields.local_header_offset)) {
    return false;
  }
  if (fields.disk_start == 0xFFFF) {
    if (at + 4 > data.size()) return false;
    fields.disk_start = Get32(Bytes(data) + at);
  }
  return true;
}

std::string EncodeZip64Block(const Zip64Fields& values, const Zip64Fields& marked) {
  std::string data;
  if (marked.uncompressed_size == kZip64Marker) Append64(data, values.uncompressed_size);
  if (marked.compressed_size == kZip64Marker) Append64(data, values.compressed_size);
  if (marked.local_header_offset == kZip64Marker) Append64(data, values.local_header_offset);
  if (marked.disk_start == 0xFFFF) Append32(data, values.disk_start);
  std::string block;
  Append16(block, kZip64ExtraId);
  Append16(block, uint16_t(data.size()));
  return block + data;
}

std::string WithoutZip64Block(std::string_view extra) {
  std::string kept;
  for (const ExtraBlock& block : SplitExtraField(extra)) {
    if (block.id == kZip64ExtraId) continue;
    Append16(kept, block.id);
    Append16(kept, uint16_t(block.data.size()));
    kept += block.data;
  }
  return kept;
}

}  // namespace kestrova
