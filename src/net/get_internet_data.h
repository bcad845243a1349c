// Fetching one server reply into memory in the background, with a watchdog that
// abandons a server that does not answer in time.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "base/threads.h"
#include "net/internet.h"

namespace kestrova {

/// True when the response's status is exactly "200"; only such a reply counts.
bool StatusIsOK(const InternetRequest& request);

/// The watchdog of one fetch: ends after `Seconds` or when stopped, whichever comes
/// first. Its end action (set by the worker) runs on the GUI thread either way.
class TWait : public TThread {
 public:
  TWait(Key key, int32_t seconds) : TThread(key), Seconds(seconds) {}

  /// Ends the wait early; any thread, any number of times.
  void Stop();

  const int32_t Seconds;

 protected:
  void Execute() override;

 private:
  std::mutex mutex_;
  std::condition_variable stopped_;
  bool stop_ = false;
};

/// The worker of one fetch: opens the URL, reads the whole body when the status is
/// 200, and keeps it as Data. The open may take `seconds`, the whole fetch twice
/// that; a body longer than `max_size` is no reply.
class TGetInternetDataThread : public TThread {
 public:
  TGetInternetDataThread(Key key, InternetHandle internet, std::string url, int32_t seconds,
                         size_t max_size);

  const InternetHandle Internet;
  const std::string URL;
  const size_t MaxSize;
  /// The complete reply body; nothing until it has been read whole, and nothing for a
  /// fetch that failed.
  std::optional<std::string> Data;
  TThread::Ptr<TWait> Watchdog;

  /// True while the URL open has not returned yet.
  bool OpenPending() const { return open_pending_; }

  /// GUI thread, when the watchdog has ended: an open still pending is abandoned by
  /// closing the internet session, which every later fetch through it notices.
  void WatchdogEnded();

 protected:
  void Execute() override;

 private:
  std::optional<std::string> ReadBody(InternetRequest& request);

  std::atomic<bool> open_pending_{false};
};

/// Background fetcher bound to one internet session: fetches one URL at a time and
/// hands the reply to OnDone on the GUI thread. Clients set OnDone, Start, and wait
/// for Worker(); when the wait returns, the handler has run once.
class TGetInternetData {
 public:
  /// Completion handler: the fetcher and the reply body, or nullptr when there was
  /// no usable reply. The body belongs to the worker; ReleaseData frees it.
  using TDoneEvent = std::function<void(TGetInternetData& sender, const std::string* data)>;

  /// `internet` may be none: every fetch then delivers nothing.
  TGetInternetData(InternetHandle internet, int32_t timeout_seconds);
  ~TGetInternetData();
  TGetInternetData(const TGetInternetData&) = delete;
  TGetInternetData& operator=(const TGetInternetData&) = delete;

  /// Called once for the next fetch, then emptied; set it again before each Start.
  TDoneEvent OnDone;

  /// Starts fetching `url`; returns at once. A reply longer than `max_size` bytes
  /// is taken as no reply.
  void Start(const std::string& url, size_t max_size = kMaxReplySize);
  /// The worker of the latest Start, or nullptr.
  TGetInternetDataThread* Worker() const { return worker_.get(); }
  /// Frees the latest reply body.
  void ReleaseData();

  /// Start, then wait for the worker, serving handed-over calls meanwhile.
  void FetchAndWait(const std::string& url, size_t max_size = kMaxReplySize);

  /// The largest reply any fetch reads into memory.
  static constexpr size_t kMaxReplySize = 8 * 1024 * 1024;

 private:
  void WorkerEnded(TGetInternetDataThread& worker);

  const InternetHandle internet_;
  const int32_t timeout_;
  TThread::Ptr<TGetInternetDataThread> worker_;
};

}  // namespace kestrova
