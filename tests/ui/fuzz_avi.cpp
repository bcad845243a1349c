// libFuzzer target: the AVI reader must reject or read any input without reading
// past it, and keep decoded frames in proportion to the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ui/avi_clip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto clip = kestrova::ui::AviClip::Read(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!clip) return 0;
  size_t pixels = 0;
  for (int i = 0; i < clip->FrameCount(); ++i) pixels += clip->Frame(i).size();
  if (pixels > 2 * size) std::abort();
  return 0;
}
