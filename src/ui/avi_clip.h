// Reads uncompressed AVI clips, the format of the program's animation resources.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kestrova::ui {

/// The frames of the first video stream of an uncompressed AVI file (RIFF 'AVI ',
/// BI_RGB frames of 16, 24 or 32 bits per pixel), decoded to top-down rows of
/// 0xFFRRGGBB pixels.
class AviClip {
 public:
  /// Returns nothing for anything but a readable uncompressed clip with at least one
  /// frame. Never reads outside `bytes`; memory use stays linear in its size.
  static std::optional<AviClip> Read(std::string_view bytes);

  int Width() const { return width_; }
  int Height() const { return height_; }
  int BitsPerPixel() const { return bits_per_pixel_; }
  int FrameCount() const { return static_cast<int>(frames_.size()); }
  uint32_t MicrosecondsPerFrame() const { return microseconds_per_frame_; }
  /// `index` counts from 0.
  const std::vector<uint32_t>& Frame(int index) const { return frames_.at(static_cast<size_t>(index)); }

 private:
  int width_ = 0;
  int height_ = 0;
  int bits_per_pixel_ = 0;
  uint32_t microseconds_per_frame_ = 0;
  std::vector<std::vector<uint32_t>> frames_;

  friend class AviParser;
};

}  // namespace kestrova::ui
