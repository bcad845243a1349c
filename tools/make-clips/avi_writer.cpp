#include "avi_writer.h"

namespace kestrova::clips {
namespace {

constexpr uint32_t kHasIndex = 0x10;
constexpr uint32_t kKeyFrame = 0x10;

void Put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Put16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}
void Patch32(std::string& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Opens a chunk (or a LIST/RIFF with `type`) and returns where its size goes.
size_t Open(std::string& out, const char* id, const char* type = nullptr) {
  out += id;
  const size_t size_at = out.size();
  Put32(out, 0);
  if (type) out += type;
  return size_at;
}
void Close(std::string& out, size_t size_at) {
  Patch32(out, size_at, static_cast<uint32_t>(out.size() - size_at - 4));
  if (out.size() & 1) out += '\0';
}

uint16_t ToRgb555(uint32_t rgb) {
  const unsigned r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  return static_cast<uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
}

std::string FrameBits(const ClipFrames& clip, const std::vector<uint32_t>& frame) {
  const size_t stride = ((static_cast<size_t>(clip.width) * 16 + 31) / 32) * 4;
  std::string bits;
  for (int y = clip.height - 1; y >= 0; --y) {  // DIB rows run bottom-up
    const size_t row_start = bits.size();
    for (int x = 0; x < clip.width; ++x) Put16(bits, ToRgb555(frame[static_cast<size_t>(y * clip.width + x)]));
    bits.resize(row_start + stride, '\0');
  }
  return bits;
}

}  // namespace

std::string WriteAvi16(const ClipFrames& clip) {
  const uint32_t frame_size = static_cast<uint32_t>(((clip.width * 16 + 31) / 32) * 4 * clip.height);
  const auto count = static_cast<uint32_t>(clip.frames.size());
  std::string out;
  const size_t riff = Open(out, "RIFF", "AVI ");

  const size_t hdrl = Open(out, "LIST", "hdrl");
  const size_t avih = Open(out, "avih");
  Put32(out, clip.microseconds_per_frame);
  Put32(out, frame_size * clip.frames_per_second);  // max bytes per second
  Put32(out, 0);                                     // padding granularity
  Put32(out, kHasIndex);
  Put32(out, count);
  Put32(out, 0);  // initial frames
  Put32(out, 1);  // streams
  Put32(out, frame_size);
  Put32(out, static_cast<uint32_t>(clip.width));
  Put32(out, static_cast<uint32_t>(clip.height));
  for (int i = 0; i < 4; ++i) Put32(out, 0);
  Close(out, avih);

  const size_t strl = Open(out, "LIST", "strl");
  const size_t strh = Open(out, "strh");
  out += "vids";
  out += "DIB ";
  Put32(out, 0);  // flags
  Put16(out, 0);  // priority
  Put16(out, 0);  // language
  Put32(out, 0);  // initial frames
  Put32(out, 1);  // scale
  Put32(out, clip.frames_per_second);
  Put32(out, 0);  // start
  Put32(out, count);
  Put32(out, frame_size);
  Put32(out, 0xFFFFFFFF);  // quality: default
  Put32(out, 0);           // sample size: varies per chunk
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<uint16_t>(clip.width));
  Put16(out, static_cast<uint16_t>(clip.height));
  Close(out, strh);
  const size_t strf = Open(out, "strf");
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(clip.width));
  Put32(out, static_cast<uint32_t>(clip.height));  // positive: bottom-up rows
  Put16(out, 1);
  Put16(out, 16);
  Put32(out, 0);  // BI_RGB
  Put32(out, frame_size);
  for (int i = 0; i < 4; ++i) Put32(out, 0);
  Close(out, strf);
  Close(out, strl);
  Close(out, hdrl);

  const size_t movi = Open(out, "LIST", "movi");
  const size_t movi_type = movi + 4;
  std::vector<uint32_t> offsets;
  for (const auto& frame : clip.frames) {
    offsets.push_back(static_cast<uint32_t>(out.size() - movi_type));
    const size_t chunk = Open(out, "00db");
    out += FrameBits(clip, frame);
    Close(out, chunk);
  }
  Close(out, movi);

  const size_t idx1 = Open(out, "idx1");
  for (uint32_t offset : offsets) {
    out += "00db";
    Put32(out, kKeyFrame);
    Put32(out, offset);
    Put32(out, frame_size);
  }
  Close(out, idx1);
  Close(out, riff);
  return out;
}

}  // namespace kestrova::clips
