// What "Update now" makes of a run with administrator rights: the arguments that start
// it, and the log line of every way it can end.
#include <gtest/gtest.h>

#include "upgrade/elevation.h"

namespace kestrova {
namespace {

TEST(Elevation, OnlyTheExactArgumentsStartARunForTheUpgradeAndEachFailureIsSaidPlainly) {
  EXPECT_EQ(ElevatedUpgradeVersion(ElevatedUpgradeArguments("1.1")), "1.1");
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
           {"--elevated-upgrade"}, {"--elevated-upgrade", ""}, {"--elevated-upgrade", "1.1", "x"},
           {"file.txt", "1.1"}, {"--", "--elevated-upgrade", "1.1"}}) {
    EXPECT_FALSE(ElevatedUpgradeVersion(arguments)) << arguments.size();
  }
  EXPECT_EQ(ElevatedRunFailure({ElevationOutcome::Finished, 0, ""}), "");
  const std::pair<ElevatedRun, std::string> failures[] = {
      {{ElevationOutcome::Finished, 1, ""}, "did not install the release; nothing was changed."},
      {{ElevationOutcome::Declined, -1, ""}, "which were not given; nothing was changed."},
      {{ElevationOutcome::Unavailable, -1, ""}, "which this system cannot ask for."},
      {{ElevationOutcome::Failed, -1, "Access denied."}, "could not be started: Access denied."}};
  for (const auto& [run, says] : failures) EXPECT_TRUE(ElevatedRunFailure(run).ends_with(says)) << says;
}

}  // namespace
}  // namespace kestrova
