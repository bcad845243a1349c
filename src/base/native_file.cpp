// What an open file does the same on every platform: owning its handle as it moves.
#include "base/native_file.h"

#include <algorithm>
#include <utility>

namespace kestrova {

NativeFile::NativeFile(NativeFile&& other) noexcept
    : handle_(other.handle_), open_error_(std::move(other.open_error_)) {
  other.handle_ = kNoHandle;
}

NativeFile& NativeFile::operator=(NativeFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    open_error_ = std::move(other.open_error_);
    other.handle_ = kNoHandle;
  }
  return *this;
}

size_t NativeFile::ReadAt(uint64_t offset, void* buffer, size_t size) const {
  if (offset >= kLastOffset) return 0;
  size = static_cast<size_t>(std::min<uint64_t>(size, kLastOffset - offset));
  auto* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < size) {
    const size_t n = ReadOnce(offset + done, out + done, size - done);
    if (n == 0) break;
    done += n;
  }
  return done;
}

size_t NativeFile::WriteAt(uint64_t offset, const void* buffer, size_t size) {
  if (offset >= kLastOffset || size > kLastOffset - offset) return 0;  // as full as a file gets
  const auto* in = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < size) {
    const size_t n = WriteOnce(offset + done, in + done, size - done);
    if (n == 0) break;
    done += n;
  }
  return done;
}

}  // namespace kestrova
