// libFuzzer target: whatever a server sends as a manifest, the updater's decision ends,
// and no text without a signature of the trusted key is ever accepted.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "release/release_manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const kestrova::TKeySet kTrusted{{std::string(32, '\x11')}, 1};
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string fault;
  kestrova::ReadManifestBody(input, fault);
  if (kestrova::DecideManifest(input, "Demo", kTrusted, {}, 1796900000).manifest) std::abort();
  kestrova::ReadManifestState(input, "0123456789abcdef");
  return 0;
}
