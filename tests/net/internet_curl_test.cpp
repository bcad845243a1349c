// What only the libcurl port of the internet seam has: the proxy variables of the
// environment stand for the system's proxy settings.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "net/internet.h"
#include "support/peers.h"

namespace kestrova {
namespace {

TEST(Internet, AccessTypesDecideWhetherTheProxyVariablesCount) {
  test::FixedReplyServer server(200, "ok");
  // A proxy that refuses every connection: whoever uses it gets no response.
  ::setenv("http_proxy", test::RefusingBaseUrl().c_str(), 1);
  ::unsetenv("no_proxy");
  ::unsetenv("NO_PROXY");
  EXPECT_TRUE(OpenInternetSession("a", kOpenTypeDirect, "")->OpenUrl(server.BaseUrl() + "/"));
  EXPECT_FALSE(OpenInternetSession("a", kOpenTypePreconfig, "")->OpenUrl(server.BaseUrl() + "/"));
  EXPECT_FALSE(
      OpenInternetSession("a", kOpenTypePreconfigNoAutoProxy, "")->OpenUrl(server.BaseUrl() + "/"));
  ::unsetenv("http_proxy");
  EXPECT_EQ(server.RequestedPaths().size(), 1u);
}

}  // namespace
}  // namespace kestrova
