// CRC-32 of ZIP entries against zlib's crc32, on buffers the size the archiver feeds it.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <vector>

#include "zip/crc32.h"

namespace {

std::vector<unsigned char> Buffer(size_t size) {
  std::vector<unsigned char> bytes(size);
  std::mt19937 random(42);
  for (auto& b : bytes) b = static_cast<unsigned char>(random());
  return bytes;
}

void Ours(benchmark::State& state) {
  const auto bytes = Buffer(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    kestrova::Crc32 crc;
    crc.Update(bytes.data(), bytes.size());
    benchmark::DoNotOptimize(crc.Value());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void Zlib(benchmark::State& state) {
  const auto bytes = Buffer(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

// Same answers first: a fast wrong checksum is worth nothing.
void SameAnswer(benchmark::State& state) {
  const auto bytes = Buffer(1 << 20);
  for (size_t size : {size_t{0}, size_t{1}, size_t{15}, size_t{17}, size_t{4096 + 3}, bytes.size()}) {
    if (kestrova::Crc32Of(bytes.data(), size) != crc32(0, bytes.data(), static_cast<uInt>(size))) {
      state.SkipWithError("CRC-32 differs from zlib's");
      return;
    }
  }
  for (auto _ : state) {
  }
}

}  // namespace

BENCHMARK(SameAnswer)->Iterations(1);
BENCHMARK(Ours)->Arg(64)->Arg(4 << 10)->Arg(1 << 20);
BENCHMARK(Zlib)->Arg(64)->Arg(4 << 10)->Arg(1 << 20);

BENCHMARK_MAIN();
