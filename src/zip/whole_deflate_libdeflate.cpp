#include <libdeflate.h>

#include <array>

#include "zip/deflate_stream.h"
#include "zip/whole_deflate.h"

namespace kestrova {
namespace {

struct CompressorDeleter {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
struct DecompressorDeleter {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

}  // namespace

// One compressor per level: each holds the tables of its level, set up once.
struct WholeDeflater::State {
  std::array<std::unique_ptr<libdeflate_compressor, CompressorDeleter>, 13> compressors;
  libdeflate_compressor* For(int level);
};

WholeDeflater::WholeDeflater() : state_(std::make_unique<State>()) {}

WholeDeflater::~WholeDeflater() = default;

libdeflate_compressor* WholeDeflater::State::For(int level) {
  auto& compressor = compressors.at(static_cast<size_t>(level));
  if (!compressor) {
    compressor.reset(libdeflate_alloc_compressor(level));
    if (!compressor) throw CompressionError("Cannot start deflate");
  }
  return compressor.get();
}

size_t WholeDeflater::Compress(int level, const unsigned char* in, size_t size, unsigned char* out,
                               size_t capacity) {
  return libdeflate_deflate_compress(state_->For(level), in, size, out, capacity);
}

std::vector<unsigned char> WholeDeflater::CompressPiece(int level, std::span<const unsigned char>,
                                                       std::span<const unsigned char> piece,
                                                       bool last) {
  libdeflate_compressor* compressor = state_->For(level);
  std::vector<unsigned char> out(libdeflate_deflate_compress_bound(compressor, piece.size()) +
                                 kStreamContinuationBytes);
  const size_t n =
      libdeflate_deflate_compress(compressor, piece.data(), piece.size(), out.data(), out.size());
  if (n == 0) throw CompressionError("deflate failed");
  out.resize(n);
  // The library always ends its stream; a piece that others follow is opened again.
  if (!last) ContinueStream(out);
  return out;
}

size_t PieceHistoryLength() { return 0; }

struct WholeInflater::State {
  std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor{
      libdeflate_alloc_decompressor()};
};

WholeInflater::WholeInflater() : state_(std::make_unique<State>()) {
  if (!state_->decompressor) throw CompressionError("Cannot start inflate");
}

WholeInflater::~WholeInflater() = default;

std::optional<size_t> WholeInflater::Decompress(const unsigned char* in, size_t size,
                                                unsigned char* out, size_t capacity) {
  size_t used = 0;
  size_t produced = 0;
  const libdeflate_result result = libdeflate_deflate_decompress_ex(
      state_->decompressor.get(), in, size, out, capacity, &used, &produced);
  if (result != LIBDEFLATE_SUCCESS) return std::nullopt;
  return produced;
}

const char* WholeDeflateLibrary() { return "libdeflate"; }

}  // namespace kestrova
