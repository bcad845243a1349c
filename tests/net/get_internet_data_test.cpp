// The background fetcher: one completion call on the GUI thread per fetch, a reply
// only for a whole body with status 200, and a watchdog that abandons silent servers.
#include "net/get_internet_data.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/peers.h"

namespace kestrova {
namespace {

using test::Now;

struct Outcome {
  int calls = 0;
  bool on_gui_thread = false;
  std::optional<std::string> reply;
};

class Fetcher : public ::testing::Test {
 protected:
  void SetUp() override { GuiThread::Attach(); }

  // Fetches as every client does: arm the handler, start, wait for the worker.
  Outcome Fetch(TGetInternetData& fetcher, const std::string& url) {
    Outcome outcome;
    const auto gui = std::this_thread::get_id();
    fetcher.OnDone = [&outcome, gui](TGetInternetData& sender, const std::string* data) {
      ++outcome.calls;
      outcome.on_gui_thread = std::this_thread::get_id() == gui;
      if (data) outcome.reply = *data;
      sender.ReleaseData();
    };
    fetcher.Start(url);
    fetcher.Worker()->WaitFor();
    return outcome;
  }

  InternetHandle internet_ = OpenInternetSession("kestrova", kOpenTypeDirect, "");
};

TEST_F(Fetcher, DeliversTheWholeBodyOnceOnTheGuiThread) {
  const std::string body(5000, 'r');
  test::FixedReplyServer server(200, body);
  TGetInternetData fetcher(internet_, 5);
  const Outcome outcome = Fetch(fetcher, server.BaseUrl() + "/x");
  EXPECT_EQ(outcome.calls, 1);
  EXPECT_TRUE(outcome.on_gui_thread);
  EXPECT_EQ(outcome.reply, body);
  EXPECT_FALSE(fetcher.Worker()->Data);  // released by the handler
}

TEST_F(Fetcher, OnlyStatus200CountsAndAnEmptyBodyIsStillAReply) {
  test::FixedReplyServer missing(404, "not here");
  test::FixedReplyServer empty(200, "");
  TGetInternetData fetcher(internet_, 5);
  const Outcome not_found = Fetch(fetcher, missing.BaseUrl() + "/");
  EXPECT_EQ(not_found.calls, 1);
  EXPECT_FALSE(not_found.reply);
  EXPECT_EQ(Fetch(fetcher, empty.BaseUrl() + "/").reply, "");
}

TEST_F(Fetcher, ABodyCutShortIsNoReply) {
  test::ScriptedServer cut("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\n2.1;2009", true);
  TGetInternetData fetcher(internet_, 5);
  const Outcome outcome = Fetch(fetcher, cut.BaseUrl() + "/");
  EXPECT_EQ(outcome.calls, 1);
  EXPECT_FALSE(outcome.reply);
}

TEST_F(Fetcher, TimeOutClosesTheSessionAndLaterFetchesEndAtOnce) {
  test::SilentServer silent;
  test::FixedReplyServer good(200, "ok");
  TGetInternetData fetcher(internet_, 1);
  const double start = Now();
  const Outcome timed_out = Fetch(fetcher, silent.BaseUrl() + "/");
  const double took = Now() - start;
  EXPECT_EQ(timed_out.calls, 1);
  EXPECT_FALSE(timed_out.reply);
  EXPECT_GE(took, 0.9);
  EXPECT_LT(took, 2.0);
  EXPECT_TRUE(internet_->Closed());

  const double again = Now();
  const Outcome next = Fetch(fetcher, good.BaseUrl() + "/");
  EXPECT_EQ(next.calls, 1);
  EXPECT_FALSE(next.reply);
  EXPECT_LT(Now() - again, 0.5);
  EXPECT_TRUE(good.RequestedPaths().empty());
}

TEST_F(Fetcher, ZeroSecondsAbandonsAnyOpenStillPending) {
  test::SilentServer silent;
  TGetInternetData fetcher(internet_, 0);
  const double start = Now();
  EXPECT_FALSE(Fetch(fetcher, silent.BaseUrl() + "/").reply);
  EXPECT_LT(Now() - start, 0.5);
  EXPECT_TRUE(internet_->Closed());
}

TEST_F(Fetcher, AFailedOpenLeavesTheSessionUsable) {
  test::FixedReplyServer good(200, "ok");
  TGetInternetData fetcher(internet_, 1);
  EXPECT_FALSE(Fetch(fetcher, test::RefusingBaseUrl() + "/").reply);
  // Past the watchdog's time: a watchdog of the failed fetch must not close it late.
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  GuiThread::CheckSynchronize();
  EXPECT_FALSE(internet_->Closed());
  EXPECT_EQ(Fetch(fetcher, good.BaseUrl() + "/").reply, "ok");
}

TEST_F(Fetcher, TheHandlerRunsOnlyForTheFetchItWasArmedFor) {
  test::FixedReplyServer server(200, "ok");
  TGetInternetData fetcher(internet_, 5);
  int calls = 0;
  fetcher.OnDone = [&calls](TGetInternetData& sender, const std::string*) {
    ++calls;
    sender.ReleaseData();
  };
  fetcher.FetchAndWait(server.BaseUrl() + "/1");
  fetcher.FetchAndWait(server.BaseUrl() + "/2");
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(server.RequestedPaths().size(), 2u);
}

TEST_F(Fetcher, WithoutASessionEveryFetchEndsWithoutReply) {
  TGetInternetData fetcher(nullptr, 5);
  const Outcome outcome = Fetch(fetcher, "http://127.0.0.1:1/");
  EXPECT_EQ(outcome.calls, 1);
  EXPECT_FALSE(outcome.reply);
}

}  // namespace
}  // namespace kestrova
