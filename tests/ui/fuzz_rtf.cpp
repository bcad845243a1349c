// libFuzzer target: the RTF reader must end on any input, with text no larger than
// a small multiple of it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ui/rtf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto doc = kestrova::ui::ReadRtf(input);
  if (doc && doc->PlainText().size() > 3 * size + doc->paragraphs.size()) std::abort();
  if (!kestrova::ui::IsRtf(input) && doc) std::abort();
  return 0;
}
