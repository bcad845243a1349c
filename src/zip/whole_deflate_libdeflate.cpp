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
};

WholeDeflater::WholeDeflater() : state_(std::make_unique<State>()) {}

WholeDeflater::~WholeDeflater() = default;

size_t WholeDeflater::Compress(int level, const unsigned char* in, size_t size, unsigned char* out,
                               size_t capacity) {
  auto& compressor = state_->compressors.at(static_cast<size_t>(level));
  if (!compressor) {
    compressor.reset(libdeflate_alloc_compressor(level));
    if (!compressor) throw CompressionError("Cannot start deflate");
  }
  return libdeflate_deflate_compress(compressor.get(), in, size, out, capacity);
}

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
