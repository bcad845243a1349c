// Deflating and inflating buffers held whole in memory, with the fastest library the
// build has: libdeflate where it is packaged (whole_deflate_libdeflate.cpp), zlib
// elsewhere (whole_deflate_zlib.cpp). Streams too large to hold whole go through zlib.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace kestrova {

/// Compresses whole buffers into raw deflate data, keeping its library state from call
/// to call. Not shared between threads: each worker owns one.
class WholeDeflater {
 public:
  WholeDeflater();
  ~WholeDeflater();
  WholeDeflater(const WholeDeflater&) = delete;
  WholeDeflater& operator=(const WholeDeflater&) = delete;

  /// Deflates `size` bytes at `level` (1-9) into `out`; 0 when the result would not fit
  /// in `capacity` bytes. Throws CompressionError when the library cannot start.
  size_t Compress(int level, const unsigned char* in, size_t size, unsigned char* out,
                  size_t capacity);

  /// Deflates one piece of a stream cut into pieces, ending on a byte boundary and
  /// ending the stream only when `last`, so that pieces deflated apart join into one
  /// stream. `history` is the up to PieceHistoryLength() source bytes before the piece.
  /// Throws CompressionError.
  std::vector<unsigned char> CompressPiece(int level, std::span<const unsigned char> history,
                                           std::span<const unsigned char> piece, bool last);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

/// Inflates whole raw deflate buffers, keeping its library state from call to call.
class WholeInflater {
 public:
  WholeInflater();
  ~WholeInflater();
  WholeInflater(const WholeInflater&) = delete;
  WholeInflater& operator=(const WholeInflater&) = delete;

  /// The bytes `size` bytes of deflate data produce into `out`; nothing when the data
  /// is damaged, ends before its last block, or would produce more than `capacity`.
  /// Throws CompressionError when the library cannot start.
  std::optional<size_t> Decompress(const unsigned char* in, size_t size, unsigned char* out,
                                   size_t capacity);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

/// Source bytes before a piece that CompressPiece looks back into: deflate's window
/// with zlib; none with libdeflate, which takes no dictionary, so each of its pieces
/// starts afresh: on application files 0.2% more data at level 1 (512 KiB pieces),
/// 0.1% at level 6 (1 MiB) and 0.08% at level 9 (1.5 MiB) than one whole stream.
size_t PieceHistoryLength();

/// The library behind the two, for reports: "libdeflate" or "zlib".
const char* WholeDeflateLibrary();

}  // namespace kestrova
