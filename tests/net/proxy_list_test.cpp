// Which proxy a named-proxy setting means for a request. Both internet ports take
// their proxy from this one rule, so the table holds for Linux and Windows alike.
#include <gtest/gtest.h>

#include "net/internet.h"

namespace kestrova {
namespace {

TEST(ProxyList, EachSchemeFindsItsProxyInEveryFormOfTheSetting) {
  struct Case {
    const char* setting;
    const char* http;
    const char* https;
  };
  const Case cases[] = {
      {"p1:3128", "p1:3128", "p1:3128"},
      {"http://p1:3128", "http://p1:3128", "http://p1:3128"},
      {"http=p1:3128;https=p2:3129", "p1:3128", "p2:3129"},
      {"HTTP=p1:3128;HTTPS=p2:3129", "p1:3128", "p2:3129"},
      {"Https=p2:3129 hTTp=p1:3128", "p1:3128", "p2:3129"},
      {"http=http://p1:3128;;https=http://p2:3129", "http://p1:3128", "http://p2:3129"},
      {"http=p1:3128", "p1:3128", "p1:3128"},  // the http proxy tunnels https
      {"https=p2:3129", "", "p2:3129"},
      {"p0:8080 https=p2:3129", "p0:8080", "p2:3129"},  // no scheme: every other one
      {"ftp=p3:21", "", ""},
      {"httpx=p4:1;http=p1:3128", "p1:3128", "p1:3128"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting);
    EXPECT_EQ(ProxyForScheme(c.setting, false), c.http);
    EXPECT_EQ(ProxyForScheme(c.setting, true), c.https);
  }
}

}  // namespace
}  // namespace kestrova
