#include "upgrade/elevation.h"

namespace kestrova {

std::vector<std::string> ElevatedUpgradeArguments(const std::string& version) {
  return {kElevatedUpgradeOption, version};
}

std::optional<std::string> ElevatedUpgradeVersion(const std::vector<std::string>& arguments) {
  const bool one = arguments.size() == 2 && arguments[0] == kElevatedUpgradeOption;
  if (!one || arguments[1].empty()) return std::nullopt;
  return arguments[1];
}

bool HandsUpgradeToElevatedRun(bool write_fault, bool elevated_run) {
  return write_fault && !elevated_run && CanRunElevated();
}

std::string ElevatedRunFailure(const ElevatedRun& run) {
  switch (run.outcome) {
    case ElevationOutcome::Finished:
      if (run.exit_code == 0) return {};
      return "The upgrade with administrator rights did not install the release; nothing was "
             "changed.";
    case ElevationOutcome::Declined:
      return "The upgrade needs administrator rights, which were not given; nothing was changed.";
    case ElevationOutcome::Unavailable:
      return "The upgrade needs administrator rights, which this system cannot ask for.";
    case ElevationOutcome::Failed:
      break;
  }
  return "The upgrade with administrator rights could not be started: " + run.error;
}

}  // namespace kestrova
