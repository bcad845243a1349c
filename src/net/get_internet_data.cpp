#include "net/get_internet_data.h"

#include <algorithm>
#include <chrono>

namespace kestrova {
namespace {

// The body is read in pieces of this size.
constexpr size_t kReadPiece = 16 * 1024;

// A Content-Length that announces more than `max_size` bytes.
bool AnnouncesMoreThan(const InternetRequest& request, size_t max_size) {
  const auto length = request.ContentLength();
  if (!length || length->empty() || length->find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  return length->size() > 19 || std::stoull(*length) > max_size;
}

}  // namespace

bool StatusIsOK(const InternetRequest& request) { return request.StatusCode() == "200"; }

void TWait::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  stopped_.notify_all();
}

void TWait::Execute() {
  if (Seconds <= 0) return;
  // A steady clock: a change of the system's time must not cut a wait short or make
  // it endless.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(Seconds);
  std::unique_lock lock(mutex_);
  stopped_.wait_until(lock, deadline, [this] { return stop_; });
}

TGetInternetDataThread::TGetInternetDataThread(Key key, InternetHandle internet, std::string url,
                                               int32_t seconds, size_t max_size)
    : TThread(key),
      Internet(std::move(internet)),
      URL(std::move(url)),
      MaxSize(max_size),
      Watchdog(TThread::Create<TWait>(seconds)) {
  Watchdog->OnTerminate = [this] { WatchdogEnded(); };
}

void TGetInternetDataThread::WatchdogEnded() {
  // Only an open that is still pending is abandoned. An open that has returned,
  // successfully or not, leaves the session alone, so a late watchdog can never
  // close a session that a later fetch is using.
  if (!OpenPending()) return;
  Terminate();
  if (Internet) Internet->Close();
}

std::optional<std::string> TGetInternetDataThread::ReadBody(InternetRequest& request) {
  // An endless or oversized reply must not grow the updater without bound.
  if (AnnouncesMoreThan(request, MaxSize)) return std::nullopt;
  std::string body;
  char piece[kReadPiece];
  for (;;) {
    const size_t n = request.Read(piece, sizeof piece);
    if (n == 0) break;
    if (n > MaxSize - body.size()) return std::nullopt;
    body.append(piece, n);
  }
  // A body cut short is no reply: half an action list must never pass for a whole one.
  if (request.Failed()) return std::nullopt;
  return body;
}

void TGetInternetDataThread::Execute() {
  // Pending from before the watchdog's clock starts, so that even a watchdog of no
  // time at all finds the open it has to abandon.
  open_pending_ = Internet != nullptr;
  // A server that trickles its reply must not hold the caller longer than twice the
  // time it may take to answer at all.
  const auto deadline =
      std::chrono::steady_clock::now() + 2 * std::chrono::seconds(std::max(Watchdog->Seconds, 0));
  Watchdog->Start();
  std::unique_ptr<InternetRequest> request;
  if (Internet) request = Internet->OpenUrl(URL);
  open_pending_ = false;
  if (!Terminated() && request && StatusIsOK(*request)) {
    Watchdog->Stop();
    request->SetDeadline(deadline);
    Data = ReadBody(*request);
  }
  request.reset();
  Watchdog->Stop();
  // The watchdog's end action refers to this worker: let it run before the worker ends.
  Watchdog->WaitFor();
}

TGetInternetData::TGetInternetData(InternetHandle internet, int32_t timeout_seconds)
    : internet_(std::move(internet)), timeout_(timeout_seconds) {}

TGetInternetData::~TGetInternetData() = default;

void TGetInternetData::Start(const std::string& url, size_t max_size) {
  // The previous worker has ended (clients wait for it); destroying it waits anyway.
  worker_.reset();
  auto worker = TThread::Create<TGetInternetDataThread>(internet_, url, timeout_, max_size);
  TGetInternetDataThread& started = *worker;
  worker->OnTerminate = [this, &started] { WorkerEnded(started); };
  worker_ = std::move(worker);
  started.Start();
}

void TGetInternetData::WorkerEnded(TGetInternetDataThread& worker) {
  if (!OnDone) return;
  // Emptied before the call, so that a handler may arm the next fetch.
  TDoneEvent handler = std::move(OnDone);
  OnDone = nullptr;
  handler(*this, worker.Data ? &*worker.Data : nullptr);
}

void TGetInternetData::ReleaseData() {
  if (worker_) worker_->Data.reset();
}

void TGetInternetData::FetchAndWait(const std::string& url, size_t max_size) {
  Start(url, max_size);
  worker_->WaitFor();
}

}  // namespace kestrova
