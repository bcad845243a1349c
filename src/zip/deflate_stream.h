// Compressing one entry: source bytes in, raw deflate (or stored) bytes and CRC-32
// out. The step knows nothing of the archive, so entries can be compressed apart
// from the thread that writes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <vector>

#include "zip/crc32.h"

namespace kestrova {

/// zlib refused to start or to go on; what() says which.
class CompressionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Where an entry's uncompressed bytes come from.
class EntrySource {
 public:
  virtual ~EntrySource() = default;
  /// Up to `size` bytes; 0 at the end.
  virtual size_t Read(void* buffer, size_t size) = 0;
  /// Starts reading from the beginning again.
  virtual void Rewind() = 0;
};

/// Where an entry's compressed bytes go.
class EntrySink {
 public:
  virtual ~EntrySink() = default;
  virtual void Write(const void* data, size_t size) = 0;
  /// Drops everything written so far.
  virtual void Restart() = 0;
};

/// What compressing produced.
struct CompressedEntry {
  uint16_t method = 0;  // 0 stored, 8 deflated
  uint32_t crc32 = 0;
  uint64_t uncompressed_size = 0;  // bytes read from the source
  uint64_t compressed_size = 0;
  bool cancelled = false;
};

/// Called before each chunk with the source bytes done so far; false cancels.
using ChunkProgress = std::function<bool(uint64_t bytes_done)>;

/// Source bytes read per chunk at `level`, never more than the file.
size_t DeflateChunkSize(int level, uint64_t file_size);

/// Compresses at `level` (0 stores); throws CompressionError when zlib fails. Data that does not shrink is stored instead, so
/// an entry is never larger than its source.
CompressedEntry CompressEntry(EntrySource& source, uint64_t expected_size, int level,
                              EntrySink& sink, const ChunkProgress& progress);

/// Copies the rest of `source` unchanged after the bytes `entry` already counts, whose
/// CRC-32 so far is in `crc`, reporting progress before each chunk of `chunk` bytes.
CompressedEntry StoreRest(EntrySource& source, size_t chunk, CompressedEntry entry, Crc32 crc,
                          EntrySink& sink, const ChunkProgress& progress);

/// Source bytes of history a block of a cut stream starts from: deflate's window.
constexpr size_t kDeflateWindow = 32 * 1024;

/// Deflates one block of a stream cut into blocks at `level` (1-9), with the up to
/// 32 KiB of source before it as `history`. The block ends on a byte boundary, and the
/// stream with it when `last`; blocks deflated apart so join into one raw deflate
/// stream, which lets them be deflated at the same time. Throws CompressionError.
std::vector<unsigned char> DeflateBlock(int level, std::span<const unsigned char> history,
                                        std::span<const unsigned char> block, bool last);

/// Bytes ContinueStream may add.
constexpr size_t kStreamContinuationBytes = 5;

/// Turns a complete raw deflate stream into the start of a longer one: its last block
/// is marked as not the last, and an empty stored block brings it to a byte boundary,
/// so that another stream's blocks may follow. Throws CompressionError when `stream`
/// is not one whole deflate stream.
void ContinueStream(std::vector<unsigned char>& stream);

}  // namespace kestrova
