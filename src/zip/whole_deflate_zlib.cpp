#include <zlib.h>

#include "zip/deflate_stream.h"
#include "zip/whole_deflate.h"

namespace kestrova {

// One raw stream, set up again only when the level changes.
struct WholeDeflater::State {
  z_stream stream{};
  int level = -1;
  ~State() {
    if (level >= 0) deflateEnd(&stream);
  }
};

WholeDeflater::WholeDeflater() : state_(std::make_unique<State>()) {}

WholeDeflater::~WholeDeflater() = default;

size_t WholeDeflater::Compress(int level, const unsigned char* in, size_t size, unsigned char* out,
                               size_t capacity) {
  z_stream& z = state_->stream;
  if (state_->level != level) {
    if (state_->level >= 0) deflateEnd(&z);
    state_->level = -1;
    z = z_stream{};
    if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      throw CompressionError("Cannot start deflate");
    }
    state_->level = level;
  } else {
    deflateReset(&z);
  }
  z.next_in = const_cast<unsigned char*>(in);
  z.avail_in = static_cast<uInt>(size);
  z.next_out = out;
  z.avail_out = static_cast<uInt>(capacity);
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) return 0;
  return capacity - z.avail_out;
}

std::vector<unsigned char> WholeDeflater::CompressPiece(int level,
                                                       std::span<const unsigned char> history,
                                                       std::span<const unsigned char> piece,
                                                       bool last) {
  return DeflateBlock(level, history, piece, last);
}

size_t PieceHistoryLength() { return kDeflateWindow; }

struct WholeInflater::State {
  z_stream stream{};
  bool started = false;
  ~State() {
    if (started) inflateEnd(&stream);
  }
};

WholeInflater::WholeInflater() : state_(std::make_unique<State>()) {
  if (inflateInit2(&state_->stream, -MAX_WBITS) != Z_OK) throw CompressionError("Cannot start inflate");
  state_->started = true;
}

WholeInflater::~WholeInflater() = default;

std::optional<size_t> WholeInflater::Decompress(const unsigned char* in, size_t size,
                                                unsigned char* out, size_t capacity) {
  z_stream& z = state_->stream;
  inflateReset(&z);
  z.next_in = const_cast<unsigned char*>(in);
  z.avail_in = static_cast<uInt>(size);
  z.next_out = out;
  z.avail_out = static_cast<uInt>(capacity);
  if (inflate(&z, Z_FINISH) != Z_STREAM_END) return std::nullopt;
  return capacity - z.avail_out;
}

const char* WholeDeflateLibrary() { return "zlib"; }

}  // namespace kestrova
