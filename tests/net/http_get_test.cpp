// Downloads through THTTPGet from real servers on 127.0.0.1: which event each kind
// of reply ends in, what the target file holds afterwards, and who gets credentials.
#include "net/http_get.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "base/partial_file.h"
#include "base/progress_pace.h"
#include "http_get_fixture.h"

namespace kestrova {
namespace {

using test::HttpGet;
using test::Outcome;

TEST_F(HttpGet, CompleteReleaseFileFromTheReferenceServer) {
  testing::TempFolder root, logs;
  std::string release(3 * 1024 * 1024 + 17, '\0');
  for (size_t i = 0; i < release.size(); ++i) release[i] = static_cast<char>(i * 7 % 251);
  root.Write("Demo/release.ini", "[release]\nversion=2.1\ndate=d\n");
  root.Write("Demo/files/big.zip", release);
  test::ReferenceServer server(root.WithSeparator(), "/upd.php", logs.WithSeparator() + "log");
  const std::string target = dir_.Write("big.zip", "an older, longer file than the new one" + release).string();

  const auto start = std::chrono::steady_clock::now();
  const Outcome outcome = Download(server.BaseUrl() + "/files/Demo/big.zip", target);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(outcome.done);
  EXPECT_FALSE(outcome.error);
  EXPECT_EQ(outcome.done_size, int64_t(release.size()));
  EXPECT_TRUE(test::ReadFile(target) == release);
  EXPECT_TRUE(outcome.events_on_gui_thread);
  ASSERT_FALSE(outcome.progress.empty());
  EXPECT_TRUE(std::is_sorted(outcome.progress.begin(), outcome.progress.end()));
  EXPECT_EQ(outcome.progress.back(), int64_t(release.size())) << "the last event shows every byte";
  EXPECT_LE(double(outcome.progress.size()), 2 + took.count() * kProgressRepaintsPerSecond)
      << "a window repaints at its pace, not at every piece";
  EXPECT_EQ(outcome.total, int64_t(release.size()));
}

TEST_F(HttpGet, EachKindOfReplyEndsInItsEventAndFile) {
  enum Expect { kDone, kError };
  struct Case {
    const char* name;
    std::function<std::string()> serve;  // starts the peer, gives the URL
    Expect expect;
    std::string file_after;  // "old" when the file must stay untouched
    const char* target = "file.zip";
  };
  std::unique_ptr<test::FixedReplyServer> fixed;
  std::unique_ptr<test::ScriptedServer> scripted;
  auto fixed_reply = [&](int status, std::string body) {
    return [&, status, body] {
      fixed = std::make_unique<test::FixedReplyServer>(status, body);
      return fixed->BaseUrl() + "/files/file.zip";
    };
  };
  auto raw_reply = [&](std::string reply) {
    return [&, reply] {
      scripted = std::make_unique<test::ScriptedServer>(reply, /*hang_up=*/true);
      return scripted->BaseUrl() + "/file.zip";
    };
  };
  const std::vector<Case> cases = {
      {"empty file", fixed_reply(200, ""), kDone, ""},
      {"small file", fixed_reply(200, "PK\x03\x04 tiny"), kDone, "PK\x03\x04 tiny"},
      {"404 with a body", fixed_reply(404, "<html>not here</html>"), kError, "old"},
      {"500 with a body", fixed_reply(500, "<html>broken</html>"), kError, "old"},
      {"chunked, no length",
       raw_reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n"), kError, "old"},
      {"length not a number", raw_reply("HTTP/1.1 200 OK\r\nContent-Length: 5x\r\n\r\nhello"), kError, "old"},
      {"cut early", raw_reply("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789"), kError,
       "0123456789"},
      {"folder missing", fixed_reply(200, "data"), kError, "", "no/such/folder/file.zip"},
      {"nothing listens", [] { return test::RefusingBaseUrl() + "/file.zip"; }, kError, "old"},
      {"no path after the host", [] { return std::string("http://127.0.0.1"); }, kError, "old"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string target = dir_.WithSeparator() + c.target;
    if (c.file_after == "old") dir_.Write(c.target, "old");
    const Outcome outcome = Download(c.serve(), target);
    EXPECT_EQ(outcome.done, c.expect == kDone);
    EXPECT_EQ(outcome.error, c.expect == kError);
    if (c.expect == kDone) {
      EXPECT_EQ(outcome.done_size, int64_t(c.file_after.size()));
      EXPECT_EQ(outcome.progress.empty(), c.file_after.empty()) << "progress comes with pieces only";
    }
    EXPECT_EQ(test::ReadFile(target), c.file_after);
    std::filesystem::remove(target);
  }
}

TEST_F(HttpGet, ABodyBeyondItsBoundOrTooSlowFailsSayingWhy) {
  struct Case {
    const char* name;
    std::string url;
    int64_t max_size;
    bool done;
    std::string reason;  // part of the failure text
    bool file_kept;
  };
  test::HostileServer flood("flood"), drip("drip");
  test::FixedReplyServer hundred(200, std::string(100, 'r'));
  test::ScriptedServer held("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789", /*hang_up=*/false);
  const std::vector<Case> cases = {
      {"endless body", flood.BaseUrl() + "/r.zip", 1 << 20, false, "more than the 1048576 bytes stated", false},
      {"one byte a second", drip.BaseUrl() + "/r.zip", 0, false, "fewer than 5 bytes in 2 s", true},
      {"silent after ten bytes", held.BaseUrl() + "/r.zip", 0, false, "no data for 2 s", true},
      {"announced beyond the stated size", hundred.BaseUrl() + "/r.zip", 99, false,
       "announced 100 bytes, more than the 99 bytes stated", false},
      {"within the stated size", hundred.BaseUrl() + "/r.zip", 100, true, "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    THTTPGet get;
    get.URL = c.url;
    get.FileName = dir_.WithSeparator() + "r.zip";
    get.Internet_Type = kOpenTypeDirect;
    get.MaxSize = c.max_size;
    get.StallWindow = std::chrono::seconds(2);
    get.StallWindowBytes = 5;
    const double start = test::Now();
    const Outcome outcome = Download(get);
    EXPECT_LT(test::Now() - start, 8.0) << "two windows and a read at most";
    EXPECT_EQ(outcome.error, !c.done);
    EXPECT_EQ(get.FailureText().empty(), c.done);
    EXPECT_NE(get.FailureText().find(c.reason), std::string::npos) << get.FailureText();
    EXPECT_EQ(std::filesystem::exists(get.FileName), c.file_kept);
    std::filesystem::remove(get.FileName);
  }
}

TEST_F(HttpGet, CancelStopsWithoutAnEventAndStrayCallsAreIgnored) {
  test::ScriptedServer stalled("HTTP/1.1 200 OK\r\nContent-Length: 1000000\r\n\r\n0123456789",
                               /*hang_up=*/false);
  THTTPGet get;
  get.CancelDownload();  // idle: nothing happens
  get.URL = stalled.BaseUrl() + "/big.zip";
  get.FileName = dir_.WithSeparator() + "big.zip";
  get.Internet_Type = kOpenTypeDirect;
  Outcome outcome;
  Arm(get, outcome);
  get.StartDownload();
  THTTPGetThread* worker = get.Worker();
  ASSERT_TRUE(worker);
  GuiThread::WaitUntil([&] { return !outcome.progress.empty(); });
  get.StartDownload();  // running: ignored
  EXPECT_EQ(get.Worker(), worker);
  const double start = test::Now();
  get.CancelDownload();
  GuiThread::WaitUntil([&] { return !get.Worker(); });
  EXPECT_LT(test::Now() - start, 1.0) << "a cancel ends a stalled read at once";
  EXPECT_FALSE(outcome.done);
  EXPECT_FALSE(outcome.error);
  EXPECT_EQ(test::ReadFile(dir_.WithSeparator() + "big.zip"), "0123456789") << "the partial file stays";
}

TEST_F(HttpGet, CredentialsGoOnlyToWhoAsksForThem) {
  struct Case {
    const char* name;
    bool through_proxy;
    std::string server_login;    // what the server requires, "" for nothing
    std::string prompt_answer;   // "" cancels the prompt
    bool done;
    std::vector<std::string> authorizations;  // as the server saw them, request by request
  };
  const std::string basic_up = "Basic dTpw";  // u:p
  const std::vector<Case> cases = {
      {"proxy login stays with the proxy", true, "", "", true, {""}},
      {"server login only after it asked", false, "u:p", "", true, {"", basic_up}},
      {"no login to a server that does not ask", false, "", "", true, {""}},
      {"wrong login, then the prompt's", false, "u:right", "u:right", true, {"", basic_up, "Basic dTpyaWdodA=="}},
      {"wrong login, prompt cancelled", false, "u:right", "", false, {"", basic_up}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::FixedReplyServer server(200, "release", "", c.server_login);
    std::unique_ptr<test::AuthProxy> proxy;
    THTTPGet get;
    get.URL = server.BaseUrl() + "/r.zip";
    get.FileName = dir_.WithSeparator() + "r.zip";
    get.UserName = "u";
    get.Password = "p";
    get.Internet_Type = kOpenTypeDirect;
    if (c.through_proxy) {
      proxy = std::make_unique<test::AuthProxy>("u", "p");
      get.Internet_Type = kOpenTypeProxy;
      get.Proxy_Server = proxy->Address();
    }
    std::vector<CredentialChallenge> asked;
    get.OnCredentials = [&](const CredentialChallenge& challenge) -> std::optional<Credentials> {
      asked.push_back(challenge);
      if (c.prompt_answer.empty()) return std::nullopt;
      const size_t colon = c.prompt_answer.find(':');
      return Credentials{c.prompt_answer.substr(0, colon), c.prompt_answer.substr(colon + 1)};
    };
    const Outcome outcome = Download(get);
    EXPECT_EQ(outcome.done, c.done);
    std::vector<std::string> seen;
    for (const std::string& line : server.LogLines()) {
      const size_t fields = std::count(line.begin(), line.end(), '\t');
      seen.push_back(fields >= 3 ? line.substr(line.rfind('\t') + 1) : "");
    }
    EXPECT_EQ(seen, c.authorizations);
    if (!asked.empty()) {
      EXPECT_EQ(asked[0].asker, CredentialAsker::Server);
      EXPECT_EQ(asked[0].host, server.BaseUrl().substr(7));
    }
  }
}

TEST_F(HttpGet, ABrokenDownloadGoesOnWhereItCanAndStartsOverWhereItMust) {
  struct Case {
    const char* name;
    std::vector<int64_t> cuts;
    bool ranges, replaced;    // replaced: the published file changes at the first break
    const char* kept_for;     // an earlier download of this release was cut at the first cut
    std::vector<std::string> requests;
    int64_t received;         // body bytes in all, those of the earlier download not counted
    bool done = true;
  };
  constexpr int64_t kSize = 1 << 20;
  const std::vector<Case> cases = {
      {"cut three times", {200000, 500000, 900000}, true, false, nullptr,
       {"- 200", "bytes=200000- 206", "bytes=500000- 206", "bytes=900000- 206"}, kSize},
      {"no range support", {300000}, false, false, nullptr, {"- 200", "- 200"}, 300000 + kSize},
      {"replaced", {400000}, true, true, nullptr, {"- 200", "bytes=400000- 200"}, 1000000},
      {"kept", {524288}, true, false, "1.1", {"- 200", "bytes=524288- 206"}, kSize / 2},
      {"kept for another release", {524288}, true, false, "1.0", {"- 200", "- 200"}, kSize},
      {"a few bytes farther each time", {1000, 1010, 1020}, true, false, nullptr,
       {"- 200", "bytes=1000- 206", "bytes=1010- 206"}, 1020, false},
  };
  std::string release(kSize, '\0');
  for (size_t i = 0; i < release.size(); ++i) release[i] = static_cast<char>(i * 2654435761u >> 24);
  const std::string replacement(600000, 'n');
  testing::TempFolder published;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    published.Write("r.zip", release);
    test::CuttingServer server(published.WithSeparator(), c.cuts, c.ranges);
    THTTPGet earlier, get;
    for (THTTPGet* each : {&earlier, &get}) {
      each->URL = server.BaseUrl() + "/files/r.zip";
      each->FileName = dir_.WithSeparator() + "r.zip";
      each->Internet_Type = kOpenTypeDirect;
      each->ResumeTag = each == &get ? "1.1" : c.kept_for ? c.kept_for : "";
    }
    EXPECT_TRUE(!c.kept_for || Download(earlier).error);
    get.RetryPauses = {std::chrono::milliseconds(10), std::chrono::milliseconds(20)};
    int retries = 0;
    get.OnRetry = [&](THTTPGetThread&, int, int, const std::string&) {
      if (retries++ == 0 && c.replaced) published.Write("r.zip", replacement);
    };
    EXPECT_EQ(Download(get).done, c.done) << get.FailureText();
    EXPECT_EQ(server.Requests(), c.requests);
    EXPECT_EQ(get.BytesReceived(), c.received);
    if (!c.done) continue;
    EXPECT_TRUE(test::ReadFile(get.FileName) == (c.replaced ? replacement : release));
    EXPECT_EQ(retries, c.kept_for ? 0 : int(c.cuts.size()));
    EXPECT_FALSE(std::filesystem::exists(PartialInfoPath(get.FileName)));
  }
}

TEST(SplitURL, HostPortSchemeAndPath) {
  struct Case {
    std::string url, host, path;
    int port;
    bool secure;
  };
  const std::vector<Case> cases = {
      {"http://host/files/release.zip", "host", "/files/release.zip", 80, false},
      {"HTTP://Host/a", "Host", "/a", 80, false},
      {"host/a", "host", "/a", 80, false},
      {"http://host:8080/a", "host", "/a", 8080, false},
      {"https://host/a", "host", "/a", 443, true},
      {"HTTPS://host:8443/a/b", "host", "/a/b", 8443, true},
      {"http://host", "", "host", 80, false},
      {"http://host:99999/a", "host:99999", "/a", 80, false},
      {"http://[::1]:81/a", "[::1]", "/a", 81, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    const TURLParts parts = SplitURL(c.url);
    EXPECT_EQ(parts.host, c.host);
    EXPECT_EQ(parts.path, c.path);
    EXPECT_EQ(parts.port, c.port);
    EXPECT_EQ(parts.secure, c.secure);
  }
  EXPECT_EQ(ParseContentLength("3221225472"), 3221225472LL) << "beyond 2 GiB";
  EXPECT_EQ(ParseContentLength("9223372036854775808"), std::nullopt);
  EXPECT_EQ(ParseContentLength("-1"), std::nullopt);
  EXPECT_EQ(ParseContentLength(""), std::nullopt);
}

}  // namespace
}  // namespace kestrova
