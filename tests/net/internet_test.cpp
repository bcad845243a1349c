// The internet seam against real peers: what it reads, and how promptly a close from
// another thread ends what is pending.
#include "net/internet.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "support/peers.h"

namespace kestrova {
namespace {

using test::Now;

std::string ReadAll(InternetRequest& request, size_t piece) {
  std::string body(piece, '\0');
  std::string all;
  while (size_t n = request.Read(body.data(), piece)) all.append(body.data(), n);
  return all;
}

InternetHandle Direct() { return OpenInternetSession("agent.exe", kOpenTypeDirect, ""); }

TEST(Internet, ReadsStatusLengthAndWholeBodyInPieces) {
  const std::string body(3000, 'x');
  test::FixedReplyServer server(200, body + "end");
  auto request = Direct()->OpenUrl(server.BaseUrl() + "/a b?name=x y");
  ASSERT_TRUE(request);
  EXPECT_EQ(request->StatusCode(), "200");
  EXPECT_EQ(request->ContentLength(), "3003");
  EXPECT_EQ(ReadAll(*request, 1000), body + "end");
  EXPECT_FALSE(request->Failed());
  // The blank travels percent-encoded; the agent text is the one the session was given.
  ASSERT_EQ(server.LogLines().size(), 1u);
  EXPECT_EQ(server.LogLines()[0].substr(0, server.LogLines()[0].rfind('\t')),
            "/a%20b?name=x%20y\tagent.exe");
}

TEST(Internet, CloseFromAnotherThreadEndsPendingOpenAndLaterOnesAtOnce) {
  test::SilentServer silent;
  test::FixedReplyServer good(200, "ok");
  InternetHandle internet = Direct();
  std::thread closer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    internet->Close();
  });
  const double start = Now();
  EXPECT_FALSE(internet->OpenUrl(silent.BaseUrl() + "/"));
  closer.join();
  EXPECT_LT(Now() - start, 0.8);
  EXPECT_TRUE(internet->Closed());

  // Every way of making a request is refused once the session is closed.
  const std::string base = good.BaseUrl();
  const HttpTarget target{"127.0.0.1", std::stoi(base.substr(base.rfind(':') + 1)), "/later"};
  const std::function<std::unique_ptr<InternetRequest>()> requests[] = {
      [&] { return internet->OpenUrl(good.BaseUrl() + "/"); },
      [&] { return internet->SendHttpRequest(target); },
      [&] { return internet->SendHttpRequestAsking(target, nullptr); },
  };
  for (const auto& request : requests) {
    const double again = Now();
    EXPECT_FALSE(request());
    EXPECT_LT(Now() - again, 0.25);
  }
  EXPECT_TRUE(good.RequestedPaths().empty());
}

TEST(Internet, BodyCutShortOrStalledIsAFailureNotAnEnd) {
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789";
  {
    test::ScriptedServer cut(head, /*hang_up=*/true);
    auto request = Direct()->OpenUrl(cut.BaseUrl() + "/");
    ASSERT_TRUE(request);
    EXPECT_EQ(ReadAll(*request, 1024), "0123456789");
    EXPECT_TRUE(request->Failed());
  }
  {
    test::ScriptedServer stalled(head, /*hang_up=*/false);
    InternetHandle internet = Direct();
    auto request = internet->OpenUrl(stalled.BaseUrl() + "/");
    ASSERT_TRUE(request);
    std::thread closer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      internet->Close();
    });
    const double start = Now();
    ReadAll(*request, 1024);
    closer.join();
    EXPECT_TRUE(request->Failed());
    EXPECT_LT(Now() - start, 0.8);
  }
  {
    test::ScriptedServer stalled(head, /*hang_up=*/false);
    InternetHandle internet = Direct();
    internet->SetReadStallLimit(std::chrono::milliseconds(300));
    auto request = internet->OpenUrl(stalled.BaseUrl() + "/");
    ASSERT_TRUE(request);
    const double start = Now();
    ReadAll(*request, 1024);
    EXPECT_TRUE(request->Failed());
    EXPECT_LT(Now() - start, 1.5);
  }
}

TEST(Internet, OpenTimeLimitGivesUpOnASilentServer) {
  test::SilentServer silent;
  const double start = Now();
  EXPECT_FALSE(Direct()->OpenUrl(silent.BaseUrl() + "/", std::chrono::milliseconds(300)));
  EXPECT_LT(Now() - start, 1.0);
}

TEST(Internet, NamedProxyCarriesTheCredentials) {
  test::FixedReplyServer server(200, "ok");
  test::AuthProxy proxy("kuser", "kpass");
  struct Case {
    std::string proxy_setting;
    std::optional<Credentials> login;
    const char* path;
    bool passes;
  };
  const Case cases[] = {
      {proxy.Address(), Credentials{"kuser", "kpass"}, "/through", true},
      {"http=" + proxy.Address(), Credentials{"kuser", "wrong"}, "/wrong", false},
      {proxy.Address(), std::nullopt, "/without", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    InternetHandle internet = OpenInternetSession("a", kOpenTypeProxy, c.proxy_setting);
    if (c.login) internet->SetProxyCredentials(c.login->user_name, c.login->password);
    auto request = internet->OpenUrl(server.BaseUrl() + c.path);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->StatusCode() == "200", c.passes);
  }
  // Only the request with the right password went through the proxy to the server.
  ASSERT_EQ(server.LogLines().size(), 1u);
  EXPECT_EQ(server.RequestedPaths()[0], "/through");
  EXPECT_NE(server.LogLines()[0].find("tinyproxy"), std::string::npos);  // its Via header
}

TEST(Internet, HttpsChecksTheServerCertificate) {
  testing::TempFolder dir;
  const std::string pem = dir.WithSeparator() + "self-signed.pem";
  test::ChildProcess openssl({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                              "ec_paramgen_curve:prime256v1", "-nodes", "-days", "1", "-subj",
                              "/CN=127.0.0.1", "-keyout", pem, "-out", pem + ".crt"});
  ASSERT_EQ(openssl.Wait(10), 0);
  dir.Write("self-signed.pem", test::ReadFile(pem) + test::ReadFile(pem + ".crt"));
  test::FixedReplyServer server(200, "2.1;x", pem);
  // The server speaks TLS, but no authority the system trusts vouches for it.
  EXPECT_FALSE(Direct()->OpenUrl(server.BaseUrl() + "/"));
  EXPECT_TRUE(server.RequestedPaths().empty());
}

TEST(Internet, RefusesWhatItCannotServeSafely) {
  EXPECT_FALSE(OpenInternetSession("a", kOpenTypeProxy, ""));  // a named proxy needs a name
  EXPECT_FALSE(OpenInternetSession("a", 2, ""));
  EXPECT_FALSE(OpenInternetSession("a", -1, ""));
  // Only web servers: a configured local file must never be read as a reply.
  EXPECT_FALSE(Direct()->OpenUrl("file:///etc/hostname"));
  EXPECT_FALSE(Direct()->OpenUrl(test::RefusingBaseUrl() + "/"));
}

}  // namespace
}  // namespace kestrova
