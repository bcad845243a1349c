#include "zip/inflate_stream.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <vector>

#include "base/files.h"
#include "base/native_file.h"
#include "zip/crc32.h"
#include "zip/whole_deflate.h"

namespace kestrova {
namespace {

constexpr uint64_t kMaxInputChunk = 1 << 20;
constexpr size_t kMinOutputBuffer = 256 << 10;
constexpr size_t kMaxOutputBuffer = 4 << 20;

uint64_t OutputEstimate(uint64_t chunk, uint64_t compressed, uint64_t uncompressed) {
  const uint64_t ratio = compressed ? uncompressed / compressed : 0;
  const uint64_t estimate = (ratio + 1) * (chunk + chunk / 2 + 267) / 256 * 256;
  return estimate ? std::bit_floor(estimate) : 256;
}

// Memory handed out uncleared: every byte is written before it is read.
class ReusedBuffer {
 public:
  unsigned char* Reserve(size_t size) {
    if (size > capacity_) {
      data_.reset();
      data_.reset(new unsigned char[size]);
      capacity_ = size;
    }
    return data_.get();
  }

 private:
  std::unique_ptr<unsigned char[]> data_;
  size_t capacity_ = 0;
};

// Owns a raw inflate stream; the entry data has no zlib header or trailer.
class RawInflater {
 public:
  RawInflater() {
    if (inflateInit2(&stream_, -MAX_WBITS) != Z_OK) throw CompressionError("Cannot start inflate");
  }
  ~RawInflater() { inflateEnd(&stream_); }
  /// Makes the stream ready for the next entry without setting it up again.
  void Reset() { inflateReset(&stream_); }
  RawInflater(const RawInflater&) = delete;
  RawInflater& operator=(const RawInflater&) = delete;
  z_stream& Stream() { return stream_; }

 private:
  z_stream stream_{};
};

// Hands output on, stopping at the declared size.
class LimitedOutput {
 public:
  LimitedOutput(ExtractSink& sink, uint64_t limit, InflatedEntry& entry)
      : sink_(sink), limit_(limit), entry_(entry) {}

  /// False once more than the limit was offered.
  bool Put(const unsigned char* data, size_t size) {
    const uint64_t room = limit_ - entry_.produced;
    const size_t take = static_cast<size_t>(std::min<uint64_t>(size, room));
    if (take) {
      crc_.Update(data, take);
      sink_.Write(data, take);
      entry_.produced += take;
    }
    entry_.crc32 = crc_.Value();
    if (take < size) entry_.overrun = true;
    return !entry_.overrun;
  }

 private:
  ExtractSink& sink_;
  uint64_t limit_;
  InflatedEntry& entry_;
  Crc32 crc_;
};

InflatedEntry CopyStored(const NativeFile& archive, uint64_t offset, uint64_t size,
                         uint64_t declared, ExtractSink& sink, const InputProgress& progress,
                         ReusedBuffer& buffers) {
  InflatedEntry entry;
  LimitedOutput output(sink, declared, entry);
  const size_t chunk = static_cast<size_t>(std::min<uint64_t>(size, kMaxInputChunk));
  unsigned char* const buffer = buffers.Reserve(chunk);
  uint64_t done = 0;
  while (done < size) {
    if (!progress(done)) {
      entry.cancelled = true;
      return entry;
    }
    const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk, size - done));
    const size_t got = archive.ReadAt(offset + done, buffer, want);
    if (!output.Put(buffer, got)) return entry;
    done += got;
    if (got < want) break;
  }
  return entry;
}

InflatedEntry Inflate(const NativeFile& archive, uint64_t offset, uint64_t size,
                      uint64_t declared, ExtractSink& sink, const InputProgress& progress,
                      uint64_t available_memory, ReusedBuffer& in_buffer,
                      ReusedBuffer& out_buffer, RawInflater& inflater) {
  InflatedEntry entry;
  LimitedOutput output(sink, declared, entry);
  const size_t chunk = InflateInputChunk(size, declared, available_memory);
  unsigned char* const in = in_buffer.Reserve(chunk);
  const size_t out_size = std::clamp<size_t>(
      static_cast<size_t>(std::min<uint64_t>(OutputEstimate(chunk, size, declared), kMaxOutputBuffer)),
      kMinOutputBuffer, kMaxOutputBuffer);
  unsigned char* const out = out_buffer.Reserve(out_size);
  inflater.Reset();
  z_stream& z = inflater.Stream();
  uint64_t consumed = 0;
  for (;;) {
    if (!progress(consumed)) {
      entry.cancelled = true;
      return entry;
    }
    const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk, size - consumed));
    const size_t got = want ? archive.ReadAt(offset + consumed, in, want) : 0;
    consumed += got;
    z.next_in = in;
    z.avail_in = static_cast<uInt>(got);
    int result;
    do {
      z.next_out = out;
      z.avail_out = static_cast<uInt>(out_size);
      result = inflate(&z, Z_NO_FLUSH);
      if (result == Z_NEED_DICT || result == Z_DATA_ERROR || result == Z_MEM_ERROR ||
          result == Z_STREAM_ERROR) {
        entry.damaged = true;
        return entry;
      }
      if (!output.Put(out, out_size - z.avail_out)) return entry;
      if (result == Z_STREAM_END) return entry;
    } while (z.avail_out == 0 || z.avail_in > 0);
    if (got == 0) {  // input ran out before the last block
      entry.damaged = true;
      return entry;
    }
  }
}

// Inflates an entry held whole in memory, reporting progress at the points streaming
// would. Nothing when the whole data is not one valid stream that fits the declared
// size: streaming then finds out how far it goes.
std::optional<InflatedEntry> InflateWhole(const NativeFile& archive, uint64_t offset, uint64_t size,
                                          uint64_t declared, ExtractSink& sink,
                                          const InputProgress& progress, uint64_t available_memory,
                                          ReusedBuffer& in_buffer, ReusedBuffer& out_buffer,
                                          WholeInflater& inflater) {
  unsigned char* const in = in_buffer.Reserve(static_cast<size_t>(std::max<uint64_t>(size, 1)));
  const size_t got = archive.ReadAt(offset, in, static_cast<size_t>(size));
  unsigned char* const out = out_buffer.Reserve(static_cast<size_t>(std::max<uint64_t>(declared, 1)));
  const std::optional<size_t> produced = inflater.Decompress(in, got, out, static_cast<size_t>(declared));
  if (!produced) return std::nullopt;
  InflatedEntry entry;
  const uint64_t chunk = InflateInputChunk(size, declared, available_memory);
  for (uint64_t consumed = 0; consumed == 0 || consumed < size; consumed += chunk) {
    if (!progress(consumed)) {
      entry.cancelled = true;
      return entry;
    }
  }
  LimitedOutput output(sink, declared, entry);
  output.Put(out, *produced);
  return entry;
}

}  // namespace

void FileExtractSink::Write(const void* data, size_t size) {
  size_t written = 0;
  try {
    written = file_.WriteAt(position_, data, size);
  } catch (const NativeFileError& error) {
    throw WriteFailed{error.what()};
  }
  if (written != size) throw WriteFailed{"The disk is full"};
  position_ += size;
}

std::optional<uint64_t> DeflateStreamLength(const NativeFile& archive, uint64_t offset,
                                            uint64_t limit, uint64_t& budget) {
  limit = std::min(limit, offset + budget);
  if (offset >= limit) return std::nullopt;
  uint64_t read = 0;
  struct Charge {
    uint64_t& budget;
    const uint64_t& read;
    ~Charge() { budget -= std::min(budget, read); }
  } charge{budget, read};
  RawInflater inflater;
  z_stream& z = inflater.Stream();
  std::vector<unsigned char> in(static_cast<size_t>(std::min<uint64_t>(kMaxInputChunk, limit - offset)));
  std::vector<unsigned char> out(kMinOutputBuffer);
  while (offset + read < limit) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(in.size(), limit - offset - read));
    const size_t got = archive.ReadAt(offset + read, in.data(), want);
    if (got == 0) return std::nullopt;
    read += got;
    z.next_in = in.data();
    z.avail_in = static_cast<uInt>(got);
    do {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      const int result = inflate(&z, Z_NO_FLUSH);
      if (result == Z_STREAM_END) return read - z.avail_in;
      if (result != Z_OK && result != Z_BUF_ERROR) return std::nullopt;
    } while (z.avail_out == 0 || z.avail_in > 0);
  }
  return std::nullopt;
}

size_t InflateInputChunk(uint64_t compressed_size, uint64_t uncompressed_size,
                         uint64_t available_memory) {
  uint64_t chunk = std::min(kMaxInputChunk, std::max<uint64_t>(compressed_size, 1));
  while (chunk >= 1024 &&
         OutputEstimate(chunk, compressed_size, uncompressed_size) >= available_memory / 20) {
    chunk /= 2;
  }
  return static_cast<size_t>(chunk);
}

struct EntryInflater::State {
  RawInflater inflater;
  WholeInflater whole;
  ReusedBuffer in;
  ReusedBuffer out;
  uint64_t available_memory = AvailablePhysicalMemory();
};

EntryInflater::EntryInflater() : state_(std::make_unique<State>()) {}

EntryInflater::~EntryInflater() = default;

InflatedEntry EntryInflater::Inflate(const NativeFile& archive, uint64_t data_offset,
                                     uint64_t compressed_size, uint16_t method,
                                     uint64_t declared_size, ExtractSink& sink,
                                     const InputProgress& progress) {
  if (method == 0) {
    return CopyStored(archive, data_offset, compressed_size, declared_size, sink, progress,
                      state_->in);
  }
  // Whole entries go through the fastest library the build has; larger ones stream
  // through zlib in bounded buffers.
  if (compressed_size <= kWholeInflateLimit && declared_size <= kWholeInflateLimit) {
    const auto whole = InflateWhole(archive, data_offset, compressed_size, declared_size, sink, progress,
                                    state_->available_memory, state_->in, state_->out, state_->whole);
    if (whole) return *whole;
  }
  return kestrova::Inflate(archive, data_offset, compressed_size, declared_size, sink, progress,
                           state_->available_memory, state_->in, state_->out, state_->inflater);
}

}  // namespace kestrova
