// Downloads from a server that hangs up on purpose: what is asked for again, what
// arrives in all, and what the file holds in the end.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/partial_file.h"
#include "http_get_fixture.h"

namespace kestrova {
namespace {

using test::HttpGet;

TEST_F(HttpGet, ABrokenDownloadGoesOnWhereItCanAndStartsOverWhereItMust) {
  struct Case {
    const char* name;
    std::vector<int64_t> cuts;
    bool ranges;
    bool replaced;            // the published file changes at the first break
    const char* kept_for;     // an earlier download of this release was cut at the first cut
    std::vector<std::string> requests;
    int64_t received;         // body bytes in all, those of the earlier download not counted
  };
  constexpr int64_t kSize = 1 << 20;
  const std::vector<Case> cases = {
      {"cut three times", {200000, 500000, 900000}, true, false, nullptr,
       {"- 200", "bytes=200000- 206", "bytes=500000- 206", "bytes=900000- 206"}, kSize},
      {"no range support", {300000}, false, false, nullptr, {"- 200", "- 200"}, 300000 + kSize},
      {"replaced between attempts", {400000}, true, true, nullptr, {"- 200", "bytes=400000- 200"}, 1000000},
      {"kept for this release", {600000}, true, false, "1.1", {"- 200", "bytes=600000- 206"}, kSize - 600000},
      {"kept for another release", {600000}, true, false, "1.0", {"- 200", "- 200"}, kSize},
  };
  std::string release(kSize, '\0');
  for (size_t i = 0; i < release.size(); ++i) release[i] = static_cast<char>(i * 2654435761u >> 24);
  const std::string replacement(600000, 'n');
  testing::TempFolder published;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    published.Write("r.zip", release);
    test::CuttingServer server(published.WithSeparator(), c.cuts, c.ranges);
    auto prepare = [&](THTTPGet& get, const char* tag) {
      get.URL = server.BaseUrl() + "/files/r.zip";
      get.FileName = dir_.WithSeparator() + "r.zip";
      get.Internet_Type = kOpenTypeDirect;
      get.ResumeTag = tag;
    };
    if (c.kept_for) {
      THTTPGet earlier;
      prepare(earlier, c.kept_for);
      EXPECT_TRUE(Download(earlier).error);
    }
    THTTPGet get;
    prepare(get, "1.1");
    get.RetryPauses = {std::chrono::milliseconds(10), std::chrono::milliseconds(20)};
    int retries = 0;
    get.OnRetry = [&](THTTPGetThread&, int, int, const std::string&) {
      if (c.replaced && retries == 0) published.Write("r.zip", replacement);
      ++retries;
    };
    EXPECT_TRUE(Download(get).done) << get.FailureText();
    EXPECT_TRUE(test::ReadFile(get.FileName) == (c.replaced ? replacement : release));
    EXPECT_EQ(server.Requests(), c.requests);
    EXPECT_EQ(retries, c.kept_for ? 0 : int(c.cuts.size()));
    EXPECT_EQ(get.BytesReceived(), c.received);
    EXPECT_FALSE(std::filesystem::exists(PartialFilePath(get.FileName)));
    EXPECT_FALSE(std::filesystem::exists(PartialInfoPath(get.FileName)));
    std::filesystem::remove(get.FileName);
  }
}

}  // namespace
}  // namespace kestrova
