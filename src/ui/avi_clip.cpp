#include "ui/avi_clip.h"

#include <cstring>

namespace kestrova::ui {
namespace {

// Larger frames than this are no animation resource; the cap also bounds the
// memory a hostile header can ask for.
constexpr int64_t kMaxPixels = 1 << 22;
constexpr int kMaxListDepth = 4;

uint32_t U32(std::string_view b, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

uint16_t U16(std::string_view b, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

uint8_t Expand5(unsigned v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }

}  // namespace

class AviParser {
 public:
  explicit AviParser(std::string_view bytes) : bytes_(bytes) {}

  std::optional<AviClip> Parse() {
    if (bytes_.size() < 12 || bytes_.substr(0, 4) != "RIFF" || bytes_.substr(8, 4) != "AVI ") return std::nullopt;
    // Summed in 64 bits: a RIFF size near 4 GiB would wrap a 32-bit size_t to a few bytes.
    const uint64_t riff_end = uint64_t{8} + U32(bytes_, 4);
    const size_t end = static_cast<size_t>(std::min<uint64_t>(bytes_.size(), riff_end));
    WalkChunks(12, end, 0);
    if (clip_.frames_.empty()) return std::nullopt;
    if (clip_.microseconds_per_frame_ == 0 && rate_ != 0) {
      clip_.microseconds_per_frame_ = static_cast<uint32_t>(1000000ull * scale_ / rate_);
    }
    return std::move(clip_);
  }

 private:
  void WalkChunks(size_t at, size_t end, int depth) {
    while (at + 8 <= end) {
      const std::string_view id = bytes_.substr(at, 4);
      const size_t size = U32(bytes_, at + 4);
      const size_t body = at + 8;
      const size_t body_end = size > end - body ? end : body + size;
      if (id == "LIST" && body + 4 <= body_end) {
        if (depth < kMaxListDepth) List(bytes_.substr(body, 4), body + 4, body_end, depth + 1);
      } else {
        Chunk(id, bytes_.substr(body, body_end - body));
      }
      at = body_end + (size & 1);  // chunks are padded to even sizes
    }
  }

  void List(std::string_view type, size_t at, size_t end, int depth) {
    if (type == "strl") ++stream_index_;
    if (type == "movi") in_movi_ = true;
    WalkChunks(at, end, depth);
    if (type == "movi") in_movi_ = false;
  }

  void Chunk(std::string_view id, std::string_view data) {
    if (id == "avih" && data.size() >= 40) {
      clip_.microseconds_per_frame_ = U32(data, 0);
    } else if (id == "strh" && data.size() >= 28 && video_stream_ < 0) {
      if (data.substr(0, 4) == "vids") {
        video_stream_ = stream_index_;
        scale_ = U32(data, 20);
        rate_ = U32(data, 24);
      }
    } else if (id == "strf" && stream_index_ == video_stream_ && data.size() >= 40 && stride_ == 0) {
      Format(data);
    } else if (in_movi_ && stride_ != 0 && IsFrameChunk(id)) {
      Frame(data);
    }
  }

  void Format(std::string_view info) {
    const auto width = static_cast<int32_t>(U32(info, 4));
    const auto height = static_cast<int32_t>(U32(info, 8));
    const uint16_t bits = U16(info, 14);
    const uint32_t compression = U32(info, 16);
    if (compression != 0 || (bits != 16 && bits != 24 && bits != 32)) return;
    if (width <= 0 || height == 0 || height == INT32_MIN) return;
    const int64_t rows = height < 0 ? -static_cast<int64_t>(height) : height;
    if (static_cast<int64_t>(width) * rows > kMaxPixels) return;
    clip_.width_ = width;
    clip_.height_ = static_cast<int>(rows);
    clip_.bits_per_pixel_ = bits;
    bottom_up_ = height > 0;
    stride_ = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
  }

  bool IsFrameChunk(std::string_view id) const {
    if (video_stream_ < 0 || video_stream_ > 99) return false;
    const char tens = static_cast<char>('0' + video_stream_ / 10);
    const char ones = static_cast<char>('0' + video_stream_ % 10);
    return id[0] == tens && id[1] == ones && (id.substr(2) == "db" || id.substr(2) == "dc");
  }

  void Frame(std::string_view data) {
    const size_t rows = static_cast<size_t>(clip_.height_);
    if (data.size() < stride_ * rows) return;  // short or empty (dropped) frames show nothing new
    const size_t width = static_cast<size_t>(clip_.width_);
    std::vector<uint32_t> pixels(width * rows);
    for (size_t y = 0; y < rows; ++y) {
      const size_t source_row = bottom_up_ ? rows - 1 - y : y;
      const std::string_view row = data.substr(source_row * stride_, stride_);
      for (size_t x = 0; x < width; ++x) pixels[y * width + x] = Pixel(row, x);
    }
    clip_.frames_.push_back(std::move(pixels));
  }

  uint32_t Pixel(std::string_view row, size_t x) const {
    uint8_t r, g, b;
    if (clip_.bits_per_pixel_ == 16) {
      const unsigned v = U16(row, x * 2);
      r = Expand5((v >> 10) & 0x1F);
      g = Expand5((v >> 5) & 0x1F);
      b = Expand5(v & 0x1F);
    } else {
      const size_t bytes = static_cast<size_t>(clip_.bits_per_pixel_) / 8;
      b = static_cast<uint8_t>(row[x * bytes]);
      g = static_cast<uint8_t>(row[x * bytes + 1]);
      r = static_cast<uint8_t>(row[x * bytes + 2]);
    }
    return 0xFF000000u | static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 | b;
  }

  std::string_view bytes_;
  AviClip clip_;
  int stream_index_ = -1;
  int video_stream_ = -1;
  uint32_t scale_ = 0;
  uint32_t rate_ = 0;
  size_t stride_ = 0;
  bool bottom_up_ = true;
  bool in_movi_ = false;
};

std::optional<AviClip> AviClip::Read(std::string_view bytes) { return AviParser(bytes).Parse(); }

}  // namespace kestrova::ui
