// Downloads whose connection breaks, from a server that cuts it on purpose: what is
// asked for again, what arrives in all, and what the file holds in the end.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/partial_file.h"
#include "http_get_fixture.h"

namespace kestrova {
namespace {

class HttpGetResume : public test::HttpGet {
 protected:
  HttpGetResume() {
    for (size_t i = 0; i < release_.size(); ++i) release_[i] = static_cast<char>(i * 2654435761u >> 24);
    published_.Write("r.zip", release_);
    replacement_ = published_.Write("other.zip", std::string(600000, 'n')).string();
  }

  void Prepare(THTTPGet& get, const std::string& url, const std::string& tag = "") {
    get.URL = url;
    get.FileName = dir_.WithSeparator() + "r.zip";
    get.Internet_Type = kOpenTypeDirect;
    get.RetryPauses = {std::chrono::milliseconds(10), std::chrono::milliseconds(20), std::chrono::milliseconds(40)};
    get.ResumeTag = tag;
  }

  std::string release_ = std::string(1 << 20, '\0');
  testing::TempFolder published_;
  std::string replacement_;
};

TEST_F(HttpGetResume, ABrokenDownloadAsksForTheRestOrStartsOverWhenItMust) {
  struct Case {
    const char* name;
    test::CuttingServer::Options server;
    bool replaced;  // the file in the end is the replacement
    std::vector<std::string> requests;
  };
  const std::vector<Case> cases = {
      {"cut three times",
       {{200000, 500000, 900000}},
       false,
       {"- 200", "bytes=200000- 206", "bytes=500000- 206", "bytes=900000- 206"}},
      {"no range support", {{300000}, -1, false}, false, {"- 200", "- 200"}},
      {"replaced between attempts", {{400000}, -1, true, replacement_}, true, {"- 200", "bytes=400000- 200"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::CuttingServer server(published_.WithSeparator(), c.server);
    THTTPGet get;
    Prepare(get, server.BaseUrl() + "/files/r.zip");
    std::vector<int> retries;
    get.OnRetry = [&](THTTPGetThread&, int attempt, int, const std::string&) { retries.push_back(attempt); };
    const test::Outcome outcome = Download(get);
    EXPECT_TRUE(outcome.done) << get.FailureText();
    const std::string& expected = c.replaced ? test::ReadFile(replacement_) : release_;
    EXPECT_TRUE(test::ReadFile(get.FileName) == expected);
    EXPECT_EQ(server.Requests(), c.requests);
    EXPECT_EQ(retries.size(), c.requests.size() - 1);
    const int64_t size = static_cast<int64_t>(release_.size());
    if (c.server.ranges && !c.replaced) {
      EXPECT_LE(get.BytesReceived(), size + size / 20);
    }
  }
}

TEST_F(HttpGetResume, AKeptPartialFileIsContinuedOnlyForItsUrlAndRelease) {
  struct Case {
    const char* name;
    std::string second_tag;
    std::string second_path;
    bool continued;
  };
  const std::vector<Case> cases = {
      {"the same release", "1.1", "/files/r.zip", true},
      {"another release", "1.2", "/files/r.zip", false},
      {"another URL", "1.1", "/elsewhere/r.zip", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int64_t hold_at = static_cast<int64_t>(release_.size()) * 6 / 10;
    test::CuttingServer server(published_.WithSeparator(), {{}, hold_at});
    {
      THTTPGet first;
      Prepare(first, server.BaseUrl() + "/files/r.zip", "1.1");
      test::Outcome outcome;
      Arm(first, outcome);
      first.StartDownload();
      GuiThread::WaitUntil([&] { return !outcome.progress.empty() && outcome.progress.back() == hold_at; });
      first.CancelDownload();
      GuiThread::WaitUntil([&] { return !first.Worker(); });
    }
    EXPECT_EQ(std::filesystem::file_size(PartialFilePath(dir_.WithSeparator() + "r.zip")), uint64_t(hold_at));
    THTTPGet second;
    Prepare(second, server.BaseUrl() + c.second_path, c.second_tag);
    const test::Outcome outcome = Download(second);
    EXPECT_TRUE(outcome.done) << second.FailureText();
    EXPECT_TRUE(test::ReadFile(second.FileName) == release_);
    const std::string range = "bytes=" + std::to_string(hold_at) + "- 206";
    EXPECT_EQ(server.Requests(), (std::vector<std::string>{"- 200", c.continued ? range : "- 200"}));
    EXPECT_FALSE(std::filesystem::exists(PartialFilePath(second.FileName)));
    EXPECT_FALSE(std::filesystem::exists(PartialInfoPath(second.FileName)));
    std::filesystem::remove(second.FileName);
  }
}

}  // namespace
}  // namespace kestrova
