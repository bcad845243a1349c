// Which Windows release the launcher runs on, as far as its priority classes go.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrova {

/// The version code of a Windows release: 0 Windows 95, 1 Windows 98, 2 Windows 98
/// Second Edition, 3 Windows Me, 4 NT 4.0 and earlier, 5 Windows 2000, 6 Windows XP
/// and every later NT release; -1 for anything else. Releases from Windows 2000 on
/// offer the above- and below-normal priority classes, so they all code above 4.
int32_t ClassifyWindowsVersion(uint32_t platform_id, uint32_t major, uint32_t minor,
                               std::string_view service_pack);

}  // namespace kestrova
