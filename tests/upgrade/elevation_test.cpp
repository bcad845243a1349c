// What "Update now" makes of a run with administrator rights: the arguments that start
// it, and the log line of every way it can end.
#include <gtest/gtest.h>

#include "upgrade/elevation.h"

namespace kestrova {
namespace {

TEST(Elevation, OnlyTheExactArgumentsOfAnElevatedRunStartOne) {
  EXPECT_EQ(ElevatedUpgradeVersion(ElevatedUpgradeArguments("1.1")), "1.1");
  const std::vector<std::vector<std::string>> not_one = {{},
                                                         {"--elevated-upgrade"},
                                                         {"--elevated-upgrade", ""},
                                                         {"--elevated-upgrade", "1.1", "extra"},
                                                         {"file.txt", "1.1"},
                                                         {"--", "--elevated-upgrade", "1.1"}};
  for (const auto& arguments : not_one)
    EXPECT_FALSE(ElevatedUpgradeVersion(arguments)) << arguments.size();
}

TEST(Elevation, EveryEndButAnInstalledReleaseIsAFailureSaidPlainly) {
  const struct {
    ElevatedRun run;
    const char* says;  // empty: no failure
  } cases[] = {
      {{ElevationOutcome::Finished, 0, ""}, ""},
      {{ElevationOutcome::Finished, 1, ""}, "did not install the release; nothing was changed."},
      {{ElevationOutcome::Declined, -1, ""},
       "administrator rights, which were not given; nothing was changed."},
      {{ElevationOutcome::Unavailable, -1, ""}, "which this system cannot ask for."},
      {{ElevationOutcome::Failed, -1, "Access denied."}, "could not be started: Access denied."},
  };
  for (const auto& c : cases) {
    const std::string line = ElevatedRunFailure(c.run);
    if (*c.says == '\0') {
      EXPECT_EQ(line, "");
    } else {
      EXPECT_TRUE(line.ends_with(c.says)) << line;
    }
  }
}

}  // namespace
}  // namespace kestrova
