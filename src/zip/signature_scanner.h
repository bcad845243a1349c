// Forward search for a four-byte record signature in an archive file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kestrova {

class NativeFile;

using SignatureBytes = std::array<char, 4>;

/// Finds a signature in [0, limit) of a file, block by block. Damaged or hostile
/// archives can hold a candidate every few bytes, and each rejected one makes the
/// caller search again from just behind it, so the scanner keeps its block and what
/// its last search proved: searches that move forward cost one pass over the file in
/// total, however many candidates there are.
class SignatureScanner {
 public:
  static constexpr size_t kDefaultBlock = 1 << 20;

  SignatureScanner(const NativeFile& file, uint64_t limit, const SignatureBytes& signature,
                   size_t block_size = kDefaultBlock);

  /// Position of the first signature that starts at or after `from` and ends before
  /// the limit.
  std::optional<uint64_t> Next(uint64_t from);
  /// Reads like NativeFile::ReadAt, from the block when it holds the bytes, so
  /// examining a candidate costs no system call.
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) const;
  /// Bytes read from the file so far.
  uint64_t BytesRead() const { return bytes_read_; }

 private:
  bool Load(uint64_t at);

  const NativeFile& file_;
  uint64_t limit_;
  SignatureBytes signature_;
  std::vector<char> block_;
  uint64_t block_start_ = 0;
  size_t block_length_ = 0;
  // The last search: no signature starts in [searched_from_, found_); found_ is the
  // hit, or the limit when there was none.
  uint64_t searched_from_ = UINT64_MAX;
  uint64_t found_ = 0;
  uint64_t bytes_read_ = 0;
};

}  // namespace kestrova
