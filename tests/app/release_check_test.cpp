// The release check of start-up against real servers: which server is asked, what
// counts as an answer, and when a release counts as newer.
#include <gtest/gtest.h>

#include "app/manage_check.h"
#include "support/peers.h"

namespace kestrova {
namespace {

using test::Now;

class ReleaseCheck : public ::testing::Test {
 protected:
  void SetUp() override { GuiThread::Attach(); }

  // Writes the configuration of an installed `current` version and runs the check.
  bool Check(const std::string& current, const std::string& addr1, const std::string& addr2,
             const std::string& extra_server_keys = "", int timeout = 2) {
    dir_.Write("kestrova.ini", "[application]\ncheck_release=1\nname=Demo\nmain_program=app\n"
                               "filename_config=app.cfg\nparam_appli_version=VERSION\n"
                               "[server]\nserver_addr1=" + addr1 + "\nserver_addr2=" + addr2 +
                                   "\nlink_for_update=/upd\ninternet_option_connect_timeout=" +
                                   std::to_string(timeout) + "\n" + extra_server_keys);
    dir_.Write("app.cfg", "VERSION=" + current + "\n");
    TManageCheck check(settings_, dir_.WithSeparator() + "kestrova", nullptr);
    return check.ReleaseCheck();
  }

  testing::TempFolder dir_;
  TSettings settings_;
};

TEST_F(ReleaseCheck, NewerReleaseOnTheFirstServer) {
  test::FixedReplyServer first(200, "2.1;2009-05-04");
  test::FixedReplyServer second(200, "9.9;x");
  EXPECT_TRUE(Check("2.0", first.BaseUrl(), second.BaseUrl()));
  EXPECT_EQ(settings_.selected_server, first.BaseUrl());
  EXPECT_EQ(settings_.release_version, "2.1");
  EXPECT_EQ(settings_.release_date, "2009-05-04");
  EXPECT_EQ(first.RequestedPaths(), std::vector<std::string>{"/upd?request=1&appli_name=Demo"});
  EXPECT_TRUE(second.RequestedPaths().empty());
}

TEST_F(ReleaseCheck, AFirstServerWithAVersionDecidesEvenWhenItIsNotNewer) {
  test::FixedReplyServer second(200, "9.9;x");
  {
    test::FixedReplyServer first(200, "2.0;2009-05-04");
    EXPECT_FALSE(Check("2.0", first.BaseUrl(), second.BaseUrl()));
  }
  {
    test::FixedReplyServer first(200, "1.10;2009-05-04");  // ordinal: "1.10" < "1.9"
    EXPECT_FALSE(Check("1.9", first.BaseUrl(), second.BaseUrl()));
  }
  EXPECT_EQ(settings_.selected_server.rfind("http://127.0.0.1:", 0), 0u);
  EXPECT_TRUE(second.RequestedPaths().empty());
}

TEST_F(ReleaseCheck, TheSecondServerAnswersWhenTheFirstGaveNoVersion) {
  test::FixedReplyServer second(200, "3.0;x");
  EXPECT_TRUE(Check("2.9", test::RefusingBaseUrl(), second.BaseUrl()));
  EXPECT_EQ(settings_.selected_server, second.BaseUrl());
  EXPECT_EQ(settings_.release_version, "3.0");

  test::FixedReplyServer no_separator(200, "3.0");
  settings_ = {};
  EXPECT_TRUE(Check("2.9", no_separator.BaseUrl(), second.BaseUrl()));
  EXPECT_EQ(settings_.selected_server, second.BaseUrl());
  EXPECT_EQ(second.RequestedPaths().size(), 2u);
}

TEST_F(ReleaseCheck, NoAnswerFromAnyServerIsNoNewerRelease) {
  EXPECT_FALSE(Check("1.0", test::RefusingBaseUrl(), ""));
  EXPECT_EQ(settings_.selected_server, "");
  test::FixedReplyServer missing(404, "2.0;x");
  EXPECT_FALSE(Check("1.0", missing.BaseUrl(), missing.BaseUrl()));
  EXPECT_EQ(missing.RequestedPaths().size(), 2u);
  EXPECT_EQ(settings_.release_version, "");
}

TEST_F(ReleaseCheck, ATimeOutOnTheFirstServerLeavesTheSecondUnasked) {
  test::SilentServer silent;
  test::FixedReplyServer second(200, "9.9;x");
  const double start = Now();
  EXPECT_FALSE(Check("1.0", silent.BaseUrl(), second.BaseUrl(), "", 1));
  EXPECT_LT(Now() - start, 2.0);
  EXPECT_TRUE(second.RequestedPaths().empty());
}

TEST_F(ReleaseCheck, HostileRepliesAreNoAnswerAndTheSecondServerIsAsked) {
  struct Case {
    const char* why;
    std::string first_server;
  };
  test::HostileServer trickle("trickle");
  test::HostileServer silent_body("silent-body");
  test::HostileServer flood("flood");
  test::FixedReplyServer portal(200, "<!DOCTYPE html><html><style>p{color:red;}</style></html>");
  test::FixedReplyServer long_version(200, std::string(65, '1') + ";x");
  const Case cases[] = {
      {"a reply trickling in under every idle time-out", trickle.BaseUrl()},
      {"a huge length and nothing after the headers", silent_body.BaseUrl()},
      {"an endless reply", flood.BaseUrl()},
      {"a captive portal's page", portal.BaseUrl()},
      {"a version of 65 characters", long_version.BaseUrl()},
  };
  test::FixedReplyServer second(200, "3.0;2010-01-01");
  for (const Case& c : cases) {
    settings_ = {};
    const double start = Now();
    EXPECT_TRUE(Check("1.0", c.first_server, second.BaseUrl(), "", 1)) << c.why;
    EXPECT_EQ(settings_.selected_server, second.BaseUrl()) << c.why;
    EXPECT_EQ(settings_.release_version, "3.0") << c.why;
    // Twice the time-out for the first server, and a little for the second.
    EXPECT_LT(Now() - start, 4.0) << c.why;
  }
}

TEST_F(ReleaseCheck, SwitchedOffItAsksNoServer) {
  test::FixedReplyServer server(200, "9.9;x");
  dir_.Write("kestrova.ini", "[application]\ncheck_release=0\n[server]\nserver_addr1=" +
                                 server.BaseUrl() + "\n");
  TManageCheck check(settings_, dir_.WithSeparator() + "kestrova", nullptr);
  EXPECT_FALSE(check.ReleaseCheck());
  EXPECT_TRUE(server.RequestedPaths().empty());
}

TEST_F(ReleaseCheck, ThroughANamedProxyWithItsCredentials) {
  test::FixedReplyServer server(200, "2.1;x");
  test::AuthProxy proxy("kuser", "kpass");
  const std::string proxy_keys =
      "INTERNET_OPEN_TYPE=3\nPROXY_SERVER=" + proxy.Address() + "\nPROXY_LOGIN=kuser\n";
  EXPECT_TRUE(Check("2.0", server.BaseUrl(), "", proxy_keys + "PROXY_PASSWORD=kpass\n"));
  settings_ = {};
  EXPECT_FALSE(Check("2.0", server.BaseUrl(), "", proxy_keys + "PROXY_PASSWORD=wrong\n"));
  ASSERT_EQ(server.LogLines().size(), 1u);
  EXPECT_NE(server.LogLines()[0].find("\tkestrova\t"), std::string::npos);  // the agent text
}

TEST_F(ReleaseCheck, ASilentProxyHoldsTheStartUpForNoMoreThanItsTimeOuts) {
  test::SilentServer proxy;
  const std::string proxy_address = proxy.BaseUrl().substr(7);  // without "http://"
  const double start = Now();
  EXPECT_FALSE(Check("1.0", "http://127.0.0.1:1", "", "INTERNET_OPEN_TYPE=3\nPROXY_SERVER=" +
                                                          proxy_address + "\n", 1));
  // One time-out for the warm-up request, one for the release check.
  EXPECT_LT(Now() - start, 3.5);
}

}  // namespace
}  // namespace kestrova
