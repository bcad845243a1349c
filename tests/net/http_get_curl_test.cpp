// What only the libcurl port sees of a download: authorities from a file, and a body
// longer than its Content-Length (WinInet reads the announced bytes and no further).
#include <gtest/gtest.h>

#include "http_get_fixture.h"

namespace kestrova {
namespace {

using test::HttpGet;
using test::Outcome;

// A test authority and a server certificate for 127.0.0.1 signed by it.
std::pair<std::string, std::string> MakeTestAuthority(const testing::TempFolder& dir) {
  const std::string p = dir.WithSeparator();
  dir.Write("ext.cnf", "subjectAltName=IP:127.0.0.1\n");
  const std::vector<std::vector<std::string>> steps = {
      {"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days",
       "1", "-subj", "/CN=Kestrova Test CA", "-keyout", p + "ca.key", "-out", p + "ca.crt"},
      {"openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-subj",
       "/CN=127.0.0.1", "-keyout", p + "server.key", "-out", p + "server.csr"},
      {"openssl", "x509", "-req", "-in", p + "server.csr", "-CA", p + "ca.crt", "-CAkey", p + "ca.key",
       "-CAcreateserial", "-days", "1", "-extfile", p + "ext.cnf", "-out", p + "server.crt"},
  };
  for (const auto& step : steps) {
    test::ChildProcess openssl(step);
    if (openssl.Wait(20) != 0) return {};
  }
  dir.Write("server.pem", test::ReadFile(p + "server.key") + test::ReadFile(p + "server.crt"));
  return {p + "ca.crt", p + "server.pem"};
}

TEST_F(HttpGet, HttpsWithTheGivenAuthority) {
  testing::TempFolder pki;
  const auto [ca, server_pem] = MakeTestAuthority(pki);
  ASSERT_FALSE(ca.empty());
  test::FixedReplyServer server(200, "secure release", server_pem);
  for (const bool trusted : {true, false}) {
    THTTPGet get;
    get.URL = server.BaseUrl() + "/files/r.zip";
    get.FileName = dir_.WithSeparator() + "r.zip";
    get.Internet_Type = kOpenTypeDirect;
    if (trusted) get.CertificateAuthorities = ca;
    const Outcome outcome = Download(get);
    EXPECT_EQ(outcome.done, trusted);
    EXPECT_EQ(outcome.error, !trusted);
  }
  EXPECT_EQ(server.RequestedPaths(), std::vector<std::string>{"/files/r.zip"});
}

TEST_F(HttpGet, MoreBytesThanAnnouncedFailKeepingTheAnnouncedOnes) {
  test::ScriptedServer server("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n0123456789", /*hang_up=*/true);
  const std::string target = dir_.WithSeparator() + "file.zip";
  dir_.Write("file.zip", "old");
  THTTPGet get;
  get.URL = server.BaseUrl() + "/file.zip";
  get.FileName = target;
  get.Internet_Type = kOpenTypeDirect;
  const Outcome outcome = Download(get);
  EXPECT_FALSE(outcome.done);
  EXPECT_TRUE(outcome.error);
  EXPECT_EQ(test::ReadFile(target), "01234");
  EXPECT_EQ(get.FailureText(), "the server sent more than the 5 bytes it announced");
}

}  // namespace
}  // namespace kestrova
