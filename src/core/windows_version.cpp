#include "core/windows_version.h"

namespace kestrova {
namespace {

constexpr uint32_t kPlatformWindows = 1;  // the 95/98/Me line
constexpr uint32_t kPlatformNt = 2;

int32_t ClassifyWindows9x(uint32_t major, uint32_t minor, std::string_view service_pack) {
  if (major != 4) return -1;
  if (minor == 0) return 0;
  if (minor == 10) return service_pack.size() > 1 && service_pack[1] == 'A' ? 2 : 1;
  if (minor == 90) return 3;
  return -1;
}

int32_t ClassifyNt(uint32_t major, uint32_t minor) {
  if (major <= 4) return 4;
  if (major == 5 && minor == 0) return 5;
  // XP and everything after it: a release the classic table did not know still has
  // every priority class, and refusing them would start every application at
  // normal priority on all the systems this program runs on.
  return 6;
}

}  // namespace

int32_t ClassifyWindowsVersion(uint32_t platform_id, uint32_t major, uint32_t minor,
                               std::string_view service_pack) {
  if (platform_id == kPlatformWindows) return ClassifyWindows9x(major, minor, service_pack);
  if (platform_id == kPlatformNt) return ClassifyNt(major, minor);
  return -1;
}

}  // namespace kestrova
