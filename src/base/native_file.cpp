// What an open file does the same on every platform: owning its handle as it moves.
#include "base/native_file.h"

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

}  // namespace kestrova
