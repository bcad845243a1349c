// No consent prompt is asked through here: a root-owned installation is updated by
// making its folder writable for its users' group, or installed per user.
#include "upgrade/elevation.h"

namespace kestrova {

bool CanRunElevated() { return false; }

ElevatedRun RunElevated(const std::string&, const std::vector<std::string>&,
                        const std::function<void()>&) {
  return {ElevationOutcome::Unavailable, -1, {}};
}

}  // namespace kestrova
