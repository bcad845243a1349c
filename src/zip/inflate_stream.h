// Decompressing one entry from the archive file into a sink, chunk by chunk, with
// its CRC-32 and a hard stop at the declared size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "zip/deflate_stream.h"

namespace kestrova {

class NativeFile;

/// Where extracted bytes go.
class ExtractSink {
 public:
  virtual ~ExtractSink() = default;
  virtual void Write(const void* data, size_t size) = 0;
};

/// Writes extracted bytes to a file from its start. Its failures are told apart from
/// those of reading the archive.
class FileExtractSink : public ExtractSink {
 public:
  explicit FileExtractSink(NativeFile& file) : file_(file) {}
  void Write(const void* data, size_t size) override;
  struct WriteFailed {
    std::string detail;
  };

 private:
  NativeFile& file_;
  uint64_t position_ = 0;
};

/// What decompressing found.
struct InflatedEntry {
  uint32_t crc32 = 0;
  uint64_t produced = 0;
  bool cancelled = false;
  /// The data would produce more than the declared size; output stopped there.
  bool overrun = false;
  /// The deflate data is invalid or ends before its last block.
  bool damaged = false;
};

/// Called before each input chunk with the compressed bytes consumed; false cancels.
using InputProgress = std::function<bool(uint64_t consumed)>;

/// Compressed bytes read per chunk: up to 1 MiB, halved until the output estimate
/// stays below a twentieth of `available_memory`.
size_t InflateInputChunk(uint64_t compressed_size, uint64_t uncompressed_size,
                         uint64_t available_memory);

/// Length of the raw deflate stream starting at `offset`, found by inflating it;
/// nothing when it is invalid or does not end before `limit`. Reads at most `budget`
/// bytes and takes what it read from it.
std::optional<uint64_t> DeflateStreamLength(const NativeFile& archive, uint64_t offset,
                                            uint64_t limit, uint64_t& budget);

/// Entries up to this size, packed and unpacked, are inflated whole.
inline constexpr uint64_t kWholeInflateLimit = 8 << 20;

/// Decompresses entries one after another; throws CompressionError when zlib cannot
/// start, and passes on the archive's NativeFileError. An application folder holds thousands of
/// small files, and setting up inflate and allocating and clearing its megabyte buffers
/// for each of them costs about as much as inflating them; the inflater keeps its
/// state and buffers from entry to entry, and measures the available memory once.
class EntryInflater {
 public:
  EntryInflater();
  ~EntryInflater();
  EntryInflater(const EntryInflater&) = delete;
  EntryInflater& operator=(const EntryInflater&) = delete;

  /// Decompresses `compressed_size` bytes at `data_offset` with `method` (0 stored,
  /// 8 deflated).
  InflatedEntry Inflate(const NativeFile& archive, uint64_t data_offset, uint64_t compressed_size,
                        uint16_t method, uint64_t declared_size, ExtractSink& sink,
                        const InputProgress& progress);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace kestrova
