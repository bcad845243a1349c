// Writes uncompressed 16-bit AVI clips.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrova::clips {

/// A clip to write: frames of top-down rows of 0xRRGGBB pixels.
struct ClipFrames {
  int width = 0;
  int height = 0;
  uint32_t microseconds_per_frame = 0;
  uint32_t frames_per_second = 0;
  std::vector<std::vector<uint32_t>> frames;
};

/// The clip as an AVI file: RIFF 'AVI ' with one 'vids' stream of BI_RGB frames in
/// 16 bits per pixel (5-5-5), an index, and no sound.
std::string WriteAvi16(const ClipFrames& clip);

}  // namespace kestrova::clips
