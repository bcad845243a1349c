#include "zip/signature_scanner.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/files.h"
#include "base/native_file.h"

namespace kestrova {

SignatureScanner::SignatureScanner(const NativeFile& file, uint64_t limit,
                                   const SignatureBytes& signature, size_t block_size)
    : file_(file), limit_(limit), signature_(signature),
      block_(std::max(block_size, signature.size())) {}

std::optional<uint64_t> SignatureScanner::Next(uint64_t from) {
  constexpr size_t kLength = std::tuple_size_v<SignatureBytes>;
  if (from >= searched_from_ && from <= found_) {
    return found_ < limit_ ? std::optional<uint64_t>(found_) : std::nullopt;
  }
  searched_from_ = from;
  found_ = limit_;
  for (uint64_t at = from; at + kLength <= limit_;) {
    if (at < block_start_ || at + kLength > block_start_ + block_length_) {
      if (!Load(at)) break;
    }
    const char* const begin = block_.data() + (at - block_start_);
    const char* const end = block_.data() + block_length_;
    const char* const hit = std::search(begin, end, signature_.begin(), signature_.end());
    if (hit != end) {
      found_ = block_start_ + static_cast<uint64_t>(hit - block_.data());
      return found_;
    }
    // The last bytes may begin a signature that the next block completes.
    at = block_start_ + block_length_ - (kLength - 1);
  }
  return std::nullopt;
}

bool SignatureScanner::Load(uint64_t at) {
  const size_t want = static_cast<size_t>(std::min<uint64_t>(block_.size(), limit_ - at));
  block_start_ = at;
  block_length_ = file_.ReadAt(at, block_.data(), want);
  bytes_read_ += block_length_;
  return block_length_ >= signature_.size();
}

size_t SignatureScanner::ReadAt(uint64_t offset, void* buffer, size_t size) const {
  if (offset >= block_start_ && offset + size <= block_start_ + block_length_) {
    std::memcpy(buffer, block_.data() + (offset - block_start_), size);
    return size;
  }
  return file_.ReadAt(offset, buffer, size);
}

}  // namespace kestrova
