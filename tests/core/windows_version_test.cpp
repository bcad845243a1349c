#include "core/windows_version.h"

#include <gtest/gtest.h>

namespace kestrova {
namespace {

TEST(WindowsVersionTest, ClassifiesReleasesSoThatOnlyOldOnesLoseTheNewerPriorityClasses) {
  struct Case {
    uint32_t platform, major, minor;
    const char* service_pack;
    int32_t code;
  };
  const Case cases[] = {
      {1, 4, 0, "", 0},        {1, 4, 10, " B", 1},    {1, 4, 10, " A", 2},  {1, 4, 10, "A", 1},
      {1, 4, 90, "", 3},       {1, 5, 0, "", -1},      {2, 3, 51, "", 4},    {2, 4, 0, "Service Pack 6", 4},
      {2, 5, 0, "", 5},        {2, 5, 1, "", 6},       {2, 5, 2, "", 6},     {2, 6, 1, "", 6},
      {2, 10, 0, "", 6},       {0, 3, 10, "", -1},     {3, 10, 0, "", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyWindowsVersion(c.platform, c.major, c.minor, c.service_pack), c.code)
        << c.platform << " " << c.major << "." << c.minor << " '" << c.service_pack << "'";
  }
}

}  // namespace
}  // namespace kestrova
