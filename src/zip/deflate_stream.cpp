#include "zip/deflate_stream.h"

#include <zlib.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "zip/crc32.h"

namespace kestrova {
namespace {

constexpr size_t KiB = 1024;

// Owns a raw deflate stream. Raw mode yields exactly the zlib stream without its
// 2-byte header and Adler-32 trailer, and spares computing the Adler-32 at all.
class RawDeflater {
 public:
  explicit RawDeflater(int level) {
    if (deflateInit2(&stream_, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      throw CompressionError("Cannot start deflate");
    }
  }
  ~RawDeflater() { deflateEnd(&stream_); }
  z_stream& Stream() { return stream_; }
  RawDeflater(const RawDeflater&) = delete;
  RawDeflater& operator=(const RawDeflater&) = delete;

  /// Deflates `size` bytes with `flush`, handing every output byte to `sink`.
  uint64_t Deflate(const unsigned char* data, size_t size, int flush,
                   std::vector<unsigned char>& out, EntrySink& sink) {
    stream_.next_in = const_cast<unsigned char*>(data);
    stream_.avail_in = static_cast<uInt>(size);
    uint64_t written = 0;
    int result;
    do {
      stream_.next_out = out.data();
      stream_.avail_out = static_cast<uInt>(out.size());
      result = deflate(&stream_, flush);
      if (result == Z_STREAM_ERROR) throw CompressionError("deflate failed");
      const size_t produced = out.size() - stream_.avail_out;
      if (produced) sink.Write(out.data(), produced);
      written += produced;
    } while (stream_.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    return written;
  }

 private:
  z_stream stream_{};
};

// Owns a raw inflate stream, used only to walk a stream's block boundaries.
class BlockWalker {
 public:
  BlockWalker() {
    if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK) throw CompressionError("Cannot start inflate");
  }
  ~BlockWalker() { inflateEnd(&stream_); }
  BlockWalker(const BlockWalker&) = delete;
  BlockWalker& operator=(const BlockWalker&) = delete;

  /// Bit positions (from the stream's start) of the last block's header and of the
  /// stream's end.
  std::pair<uint64_t, uint64_t> LastBlockAndEnd(const std::vector<unsigned char>& data) {
    std::vector<unsigned char> out(256 * KiB);
    stream_.next_in = const_cast<unsigned char*>(data.data());
    stream_.avail_in = static_cast<uInt>(data.size());
    uint64_t last_header = 0;
    uint64_t end = 0;
    for (;;) {
      stream_.next_out = out.data();
      stream_.avail_out = static_cast<uInt>(out.size());
      const int result = inflate(&stream_, Z_BLOCK);
      if (result == Z_STREAM_END) return {last_header, end};
      if (result != Z_OK) throw CompressionError("deflate produced a damaged stream");
      // At a boundary the bits not yet used start the next block's header, or, after
      // the last block, are its padding: zlib forgets them once the stream ends.
      if (stream_.data_type & 128) (stream_.data_type & 64 ? end : last_header) = BitPosition();
    }
  }

 private:
  uint64_t BitPosition() const { return uint64_t{stream_.total_in} * 8 - (stream_.data_type & 63); }
  z_stream stream_{};
};

CompressedEntry StoreAll(EntrySource& source, size_t chunk, EntrySink& sink,
                         const ChunkProgress& progress) {
  return StoreRest(source, chunk, CompressedEntry{}, Crc32{}, sink, progress);
}

}  // namespace

CompressedEntry StoreRest(EntrySource& source, size_t chunk, CompressedEntry entry, Crc32 crc,
                          EntrySink& sink, const ChunkProgress& progress) {
  std::vector<unsigned char> buffer(chunk);
  for (;;) {
    if (!progress(entry.uncompressed_size)) {
      entry.cancelled = true;
      return entry;
    }
    const size_t n = source.Read(buffer.data(), buffer.size());
    if (n == 0) break;
    crc.Update(buffer.data(), n);
    sink.Write(buffer.data(), n);
    entry.uncompressed_size += n;
  }
  entry.method = 0;
  entry.compressed_size = entry.uncompressed_size;
  entry.crc32 = crc.Value();
  return entry;
}

std::vector<unsigned char> DeflateBlock(int level, std::span<const unsigned char> history,
                                        std::span<const unsigned char> block, bool last) {
  RawDeflater deflater(level);
  z_stream& z = deflater.Stream();
  if (!history.empty() &&
      deflateSetDictionary(&z, history.data(), static_cast<uInt>(history.size())) != Z_OK) {
    throw CompressionError("Cannot start deflate");
  }
  // The bound holds for finishing; a sync flush adds its empty stored block.
  std::vector<unsigned char> out(deflateBound(&z, static_cast<uLong>(block.size())) + 16);
  z.next_in = const_cast<unsigned char*>(block.data());
  z.avail_in = static_cast<uInt>(block.size());
  const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
  size_t produced = 0;
  for (;;) {
    z.next_out = out.data() + produced;
    z.avail_out = static_cast<uInt>(out.size() - produced);
    const int result = deflate(&z, flush);
    if (result == Z_STREAM_ERROR) throw CompressionError("deflate failed");
    produced = out.size() - z.avail_out;
    const bool done = last ? result == Z_STREAM_END : z.avail_in == 0 && z.avail_out > 0;
    if (done) break;
    out.resize(out.size() * 2);
  }
  out.resize(produced);
  return out;
}

void ContinueStream(std::vector<unsigned char>& stream) {
  const auto [last_header, end] = BlockWalker().LastBlockAndEnd(stream);
  stream[last_header / 8] &= static_cast<unsigned char>(~(1u << (last_header % 8)));
  stream.resize(static_cast<size_t>((end + 7) / 8));
  const unsigned spare = static_cast<unsigned>(stream.size() * 8 - end);
  if (spare) stream.back() &= static_cast<unsigned char>((1u << (8 - spare)) - 1);
  // An empty stored block: three header bits, zeros to the byte boundary, then its
  // length 0 and that length's complement.
  if (spare < 3) stream.push_back(0);
  stream.insert(stream.end(), {0x00, 0x00, 0xFF, 0xFF});
}

size_t DeflateChunkSize(int level, uint64_t file_size) {
  size_t chunk = 1024 * KiB;
  if (level >= 1 && level <= 3) chunk = 512 * KiB;
  if (level >= 7) chunk = 1536 * KiB;
  // At least a small buffer, so a file that grows while it is read is still seen.
  return static_cast<size_t>(std::clamp<uint64_t>(file_size, 4 * KiB, chunk));
}

CompressedEntry CompressEntry(EntrySource& source, uint64_t expected_size, int level,
                              EntrySink& sink, const ChunkProgress& progress) {
  const size_t chunk = DeflateChunkSize(level, expected_size);
  std::vector<unsigned char> in(chunk);
  if (level <= 0) return StoreAll(source, chunk, sink, progress);

  std::vector<unsigned char> out(std::max<size_t>((chunk + chunk / 10 + 267) / 256 * 256, 256));
  RawDeflater deflater(level);
  Crc32 crc;
  CompressedEntry entry;
  entry.method = 8;
  bool first_chunk = true;
  for (;;) {
    if (!progress(entry.uncompressed_size)) {
      entry.cancelled = true;
      return entry;
    }
    const size_t n = source.Read(in.data(), in.size());
    if (n == 0 && first_chunk) {
      entry.method = 0;  // an empty file has nothing to deflate
      entry.crc32 = crc.Value();
      return entry;
    }
    crc.Update(in.data(), n);
    entry.uncompressed_size += n;
    const bool last = n == 0 || entry.uncompressed_size >= expected_size;
    entry.compressed_size += deflater.Deflate(in.data(), n, last ? Z_FINISH : Z_SYNC_FLUSH, out, sink);
    if (first_chunk && !last && entry.compressed_size >= n) {
      // The data does not compress: spend no more deflate time on it.
      sink.Restart();
      sink.Write(in.data(), n);
      return StoreRest(source, chunk, entry, crc, sink, progress);
    }
    if (last) break;
    first_chunk = false;
  }
  const uint64_t compressed_through = entry.uncompressed_size;
  // A source longer than its size: count the rest so the caller sees the mismatch.
  while (const size_t n = source.Read(in.data(), in.size())) entry.uncompressed_size += n;
  entry.crc32 = crc.Value();
  if (entry.compressed_size < entry.uncompressed_size) return entry;
  sink.Restart();
  if (first_chunk && compressed_through == entry.uncompressed_size) {
    // The whole file is still in the buffer.
    sink.Write(in.data(), entry.uncompressed_size);
    entry.method = 0;
    entry.compressed_size = entry.uncompressed_size;
    return entry;
  }
  source.Rewind();
  return StoreAll(source, chunk, sink, progress);
}

}  // namespace kestrova
