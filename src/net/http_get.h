// Downloading one URL into a file in the background, with progress, completion and
// failure events on the GUI thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/threads.h"
#include "net/internet.h"

namespace kestrova {

/// The parts of a download URL: an optional "http://" or "https://" prefix, the host
/// with an optional ":port", and the path from the first "/" on. Without a "/" after
/// the host the host is empty and the whole text is the path.
struct TURLParts {
  std::string host;
  std::string path;
  int port = 80;
  bool secure = false;
};
TURLParts SplitURL(const std::string& url);

/// The Content-Length text as a size; nothing unless it is a plain decimal number
/// that fits a signed 64-bit size.
std::optional<int64_t> ParseContentLength(const std::string& text);

/// The most a download may take when nothing states its size: a response's
/// Content-Length beyond it is refused before the body. Releases are far smaller; the
/// bound keeps a broken or hostile server from filling the disk on an announcement.
inline constexpr int64_t kUnstatedSizeCap = int64_t{4} << 30;  // 4 GiB

/// A download fails when a window of kStallWindow brings fewer than kStallWindowBytes
/// new bytes. Windows follow one another from the start of the body. That ends a
/// server that sends nothing after its headers, and one that trickles (one byte a
/// second brings 30 bytes a window, one every 0.2 s 150) at the end of the first window
/// it falls short in: never later than two windows (60 s) after its last fast byte.
/// 4 KiB in 30 s (about 136 bytes a second) is far below the slowest link in use.
inline constexpr std::chrono::milliseconds kStallWindow{30000};
inline constexpr int64_t kStallWindowBytes = 4096;

/// A download that breaks or stalls is asked for again after each of these pauses in
/// turn, for the rest of the file where the server can send it; growing, so that a
/// link that is down for a while gets the time to come back.
inline const std::vector<std::chrono::milliseconds> kDownloadRetryPauses = {
    std::chrono::seconds(1), std::chrono::seconds(3), std::chrono::seconds(9)};

class THTTPGetThread;
class TProgressRelay;

/// Progress of a download: the announced size and the bytes written so far.
using TOnProgressEvent = std::function<void(THTTPGetThread& sender, int64_t TotalSize, int64_t Readed)>;
/// Asks the user for credentials when a server or proxy wants them; nothing cancels.
using TOnCredentialsEvent = std::function<std::optional<Credentials>(const CredentialChallenge&)>;
/// A broken download is about to be asked for again: try `attempt` of `attempts`,
/// after `reason` ("no data for 30 s").
using TOnRetryEvent = std::function<void(THTTPGetThread& sender, int attempt, int attempts,
                                         const std::string& reason)>;

/// What a worker downloads: its copy of the component's properties.
struct THTTPGetParams {
  std::string Agent;
  std::string URL;
  std::string FileName;
  std::string UserName;
  std::string Password;
  int32_t Internet_Type = 0;
  std::string Proxy_Server;
  std::string CertificateAuthorities;
  TOnProgressEvent OnProgress;
  TOnCredentialsEvent OnCredentials;
  int64_t MaxSize = 0;
  std::chrono::milliseconds StallWindow = kStallWindow;
  int64_t StallWindowBytes = kStallWindowBytes;
  std::vector<std::chrono::milliseconds> RetryPauses;
  std::string ResumeTag;
  TOnRetryEvent OnRetry;
};

/// The worker of one download: connects, sends the request (answering requests for
/// credentials), and writes a 200 response's body into the target file, bounded in
/// size and in time as THTTPGet states.
class THTTPGetThread : public TThread {
 public:
  THTTPGetThread(Key key, THTTPGetParams params);
  ~THTTPGetThread() override;

  /// GUI thread: stops the download at its next check and ends a pending wait for
  /// the network at once.
  void Abort();
  bool Aborted() const { return aborted_; }

  /// The outcome, decided when the body ends.
  bool Succeeded = false;
  /// The size of the whole file, as the server announced it.
  std::atomic<int64_t> TotalSize{0};
  /// Bytes of the file in hand so far, those a resumed download started with included.
  std::atomic<int64_t> Readed{0};
  /// Body bytes that came over the network, every attempt counted.
  std::atomic<int64_t> Received{0};
  /// Why a download that was not cancelled failed ("the server answered HTTP 404");
  /// empty while it runs and after a success. Read it once the worker has ended.
  std::string Failure;

  const THTTPGetParams Params;

 protected:
  void Execute() override;

 private:
  // How one request for the file ended.
  enum class TAttempt { kDone, kBroken, kFatal };

  InternetHandle OpenSession();
  std::unique_ptr<InternetRequest> SendRequest(InternetSession& session, const TURLParts& parts,
                                               bool retry);
  std::optional<Credentials> AskCredentials(const CredentialChallenge& challenge);
  TAttempt Attempt(InternetSession& session, const TURLParts& parts, bool retry);
  bool TakeStart(InternetRequest& request);
  bool CheckResponse(InternetRequest& request);
  bool CheckSize(const std::optional<std::string>& length_text, bool whole);
  TAttempt Transfer(InternetRequest& request);
  bool PauseBeforeRetry(size_t attempt);
  void TakeUpPartial();
  void KeepValidator(InternetRequest& request);
  void StartOver();
  bool Complete();
  std::string WritePath() const;
  void Fail(std::string reason) { Failure = std::move(reason); }

  std::atomic<bool> aborted_{false};
  int64_t limit_ = 0;       // the most bytes the file may have, decided from the headers
  bool announced_ = false;  // the response has a Content-Length
  std::string validator_;   // what the server named the file by: ETag, else Last-Modified
  // What the user answered when asked, so that a retry does not ask again.
  std::optional<Credentials> given_server_;
  std::optional<Credentials> given_proxy_;
  std::mutex session_mutex_;
  InternetHandle session_;  // guarded: Abort closes it from the GUI thread
  TThread::Ptr<TProgressRelay> relay_;
};

/// A component that downloads one URL over HTTP(S) into a file in a worker thread.
/// Its events run on the GUI thread: OnProgress after the pieces written (handed
/// over one at a time, so a fast transfer never waits for the GUI thread; the last
/// one shows every byte), then OnDoneFile when the whole announced body has arrived,
/// or OnError when a download that was not cancelled failed (FailureText tells why).
///
/// The body is bounded: by MaxSize when it is stated (a Content-Length beyond it fails
/// before the body, a body without one fails when it passes it, and that partial file
/// is removed), otherwise by the Content-Length, which must then be there and at most
/// kUnstatedSizeCap; a body longer than announced fails. A body that stalls fails by
/// the StallWindow rule (see kStallWindow).
class THTTPGet {
 public:
  using TOnDoneFileEvent = std::function<void(THTTPGet& sender, const std::string& FileName, int64_t FileSize)>;
  using TNotifyEvent = std::function<void(THTTPGet& sender)>;

  THTTPGet() = default;
  /// Cancels a running download and waits for its worker, without events.
  ~THTTPGet();
  THTTPGet(const THTTPGet&) = delete;
  THTTPGet& operator=(const THTTPGet&) = delete;

  std::string Agent = "Quorvex HTTPGet";
  std::string URL;
  std::string FileName;
  /// With a named proxy (Internet_Type 3 and a Proxy_Server) these are the proxy's
  /// credentials; otherwise the server's, sent only when the server asks.
  std::string UserName;
  std::string Password;
  int32_t Internet_Type = kOpenTypePreconfig;
  std::string Proxy_Server;
  /// A PEM file of authorities that https trusts instead of the system's store.
  std::string CertificateAuthorities;
  /// The most bytes the file may have; 0 when its size is not stated.
  int64_t MaxSize = 0;
  /// The stall rule: fewer than StallWindowBytes in a StallWindow fails.
  std::chrono::milliseconds StallWindow = kStallWindow;
  int64_t StallWindowBytes = kStallWindowBytes;
  /// A download that breaks or stalls is asked for again after each pause in turn
  /// (kDownloadRetryPauses), for the rest of the file where the server names it with
  /// a validator and answers the range; empty: it fails at once. A try that gets
  /// StallWindowBytes or more farther into the file than any before starts the pauses
  /// over.
  std::vector<std::chrono::milliseconds> RetryPauses;
  /// Non-empty: the body gathers in the partial file beside FileName (PartialFilePath)
  /// with a note of the URL, the validator and this tag (a release version), and is
  /// renamed to FileName once whole. A download of the same URL and tag continues a
  /// partial file that an earlier one left; any other partial file there is dropped.
  std::string ResumeTag;

  TOnProgressEvent OnProgress;
  TOnDoneFileEvent OnDoneFile;
  TNotifyEvent OnError;
  TOnCredentialsEvent OnCredentials;
  TOnRetryEvent OnRetry;

  /// Starts a download with the current properties; ignored while one runs.
  void StartDownload();
  /// Stops the running download without an event; ignored when idle.
  void CancelDownload();
  /// The running worker, or nullptr.
  THTTPGetThread* Worker() const { return running_ ? worker_.get() : nullptr; }
  /// Why the last download failed, in words for a log ("the server sent more than the
  /// 1048576 bytes stated"); empty while one runs, after a success or a cancel.
  std::string FailureText() const;
  /// Body bytes the last download received over the network, every attempt counted.
  int64_t BytesReceived() const { return worker_ ? worker_->Received.load() : 0; }

 private:
  void WorkerEnded(THTTPGetThread& worker);

  TThread::Ptr<THTTPGetThread> worker_;  // kept after its end until the next start
  bool running_ = false;
  bool destroying_ = false;
};

}  // namespace kestrova
