#include "ui/win32/png_file_win32.h"

#include <windows.h>
#include <zlib.h>

#include <string_view>

#include "ui/win32/native_control_win32.h"

namespace kestrova::ui {
namespace {

void AppendBigEndian(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void AppendChunk(std::string& out, std::string_view type, std::string_view data) {
  AppendBigEndian(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.append(type);
  out.append(data);
  const auto* checked = reinterpret_cast<const Bytef*>(out.data() + start);
  AppendBigEndian(out, static_cast<uint32_t>(crc32(0L, checked, static_cast<uInt>(out.size() - start))));
}

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};

}  // namespace

bool WritePng(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels) {
  if (width <= 0 || height <= 0 || pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height)) {
    return false;
  }
  // Each row: filter type 0, then red, green, blue.
  std::string raw;
  raw.reserve(static_cast<size_t>(height) * (1 + static_cast<size_t>(width) * 3));
  for (int y = 0; y < height; ++y) {
    raw += '\0';
    for (int x = 0; x < width; ++x) {
      const uint32_t pixel = pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
      raw += static_cast<char>((pixel >> 16) & 0xFF);
      raw += static_cast<char>((pixel >> 8) & 0xFF);
      raw += static_cast<char>(pixel & 0xFF);
    }
  }
  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packed_size, '\0');
  if (compress(reinterpret_cast<Bytef*>(packed.data()), &packed_size, reinterpret_cast<const Bytef*>(raw.data()),
               static_cast<uLong>(raw.size())) != Z_OK) {
    return false;
  }
  packed.resize(packed_size);

  std::string header;
  AppendBigEndian(header, static_cast<uint32_t>(width));
  AppendBigEndian(header, static_cast<uint32_t>(height));
  header += std::string_view("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter choice, no interlace
  std::string file("\x89PNG\r\n\x1a\n", 8);
  AppendChunk(file, "IHDR", header);
  AppendChunk(file, "IDAT", packed);
  AppendChunk(file, "IEND", {});

  std::unique_ptr<void, HandleCloser> handle(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  if (handle.get() == INVALID_HANDLE_VALUE) {
    handle.release();
    return false;
  }
  DWORD written = 0;
  return WriteFile(handle.get(), file.data(), static_cast<DWORD>(file.size()), &written, nullptr) &&
         written == file.size();
}

}  // namespace kestrova::ui
