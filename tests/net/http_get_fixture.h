// Downloads through THTTPGet, recording the events each one raises.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "net/http_get.h"
#include "support/peers.h"

namespace kestrova::test {

/// The events one download raised.
struct Outcome {
  bool done = false;
  bool error = false;
  int64_t done_size = -1;
  std::vector<int64_t> progress;
  int64_t total = -1;
  bool events_on_gui_thread = true;
};

/// Downloads with THTTPGet into a folder of its own, raising the events on this thread.
class HttpGet : public ::testing::Test {
 protected:
  void SetUp() override { GuiThread::Attach(); }

  void Arm(THTTPGet& get, Outcome& outcome) {
    get.OnDoneFile = [&outcome](THTTPGet&, const std::string&, int64_t size) {
      outcome.done = true;
      outcome.done_size = size;
      outcome.events_on_gui_thread &= GuiThread::IsCurrent();
    };
    get.OnError = [&outcome](THTTPGet&) {
      outcome.error = true;
      outcome.events_on_gui_thread &= GuiThread::IsCurrent();
    };
    get.OnProgress = [&outcome](THTTPGetThread&, int64_t total, int64_t readed) {
      outcome.progress.push_back(readed);
      outcome.total = total;
      outcome.events_on_gui_thread &= GuiThread::IsCurrent();
    };
  }

  Outcome Download(THTTPGet& get) {
    Outcome outcome;
    Arm(get, outcome);
    get.StartDownload();
    GuiThread::WaitUntil([&] { return !get.Worker(); });
    return outcome;
  }

  Outcome Download(const std::string& url, const std::string& file) {
    THTTPGet get;
    get.URL = url;
    get.FileName = file;
    get.Internet_Type = kOpenTypeDirect;
    return Download(get);
  }

  testing::TempFolder dir_;
};

}  // namespace kestrova::test
