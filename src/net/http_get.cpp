#include "net/http_get.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <limits>
#include <thread>
#include <vector>

#include "base/files.h"
#include "base/native_file.h"
#include "base/partial_file.h"
#include "base/progress_pace.h"

namespace kestrova {
namespace {

// Pieces this large keep a fast link from making the transfer CPU-bound.
constexpr size_t kReadPiece = 64 * 1024;

using Clock = std::chrono::steady_clock;

// How soon a pause before a retry notices a cancel.
constexpr std::chrono::milliseconds kAbortCheck{50};

// The stall rule of a download: windows of a fixed length one after another from the
// start of the body, each of which must bring its share of bytes.
class TStallWatch {
 public:
  TStallWatch(std::chrono::milliseconds window, int64_t window_bytes)
      : window_(window), window_bytes_(window_bytes), window_end_(Clock::now() + window) {}

  // The moment by which the next read must have brought something. Once the current
  // window has its share, a read may wait until the end of the next one.
  Clock::time_point Deadline() const {
    return received_ >= window_bytes_ ? window_end_ + window_ : window_end_;
  }
  // Counts a piece that arrived at `now`; false when a window ended without its share.
  bool Count(int64_t bytes, Clock::time_point now) {
    received_ += bytes;
    while (now >= window_end_) {
      if (received_ < window_bytes_) return false;
      window_end_ += window_;
      received_ = 0;
    }
    return true;
  }
  bool Expired() const { return Clock::now() >= Deadline(); }

  // The failure in words, for a window that fell short. A read that outlived a window
  // with its share waited through the whole next one without a byte.
  std::string Reason() const {
    const std::string window = WindowText();
    if (received_ == 0 || received_ >= window_bytes_) return "no data for " + window;
    return "fewer than " + std::to_string(window_bytes_) + " bytes in " + window;
  }

 private:
  std::string WindowText() const {
    const auto ms = window_.count();
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
  }

  std::chrono::milliseconds window_;
  int64_t window_bytes_;
  Clock::time_point window_end_;
  int64_t received_ = 0;  // in the current window
};

// Writes `size` bytes at `offset`; false on a full disk or a failed write.
bool WritePiece(NativeFile& file, int64_t offset, const char* data, size_t size) {
  try {
    return file.WriteAt(static_cast<uint64_t>(offset), data, size) == size;
  } catch (const NativeFileError&) {
    return false;
  }
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// "bytes FIRST-LAST/TOTAL" of a range answer; a total the server does not know ("*")
// gives nothing, as it cannot tell where the file ends.
struct TContentRange {
  int64_t first = 0;
  int64_t last = 0;
  int64_t total = 0;
};

std::optional<TContentRange> ParseContentRange(const std::string& text) {
  static constexpr std::string_view kUnit = "bytes ";
  if (text.compare(0, kUnit.size(), kUnit) != 0) return std::nullopt;
  const size_t dash = text.find('-', kUnit.size());
  const size_t slash = text.find('/', kUnit.size());
  if (dash == std::string::npos || slash == std::string::npos || dash > slash) return std::nullopt;
  const auto first = ParseContentLength(text.substr(kUnit.size(), dash - kUnit.size()));
  const auto last = ParseContentLength(text.substr(dash + 1, slash - dash - 1));
  const auto total = ParseContentLength(text.substr(slash + 1));
  if (!first || !last || !total || *first > *last || *last + 1 != *total) return std::nullopt;
  return TContentRange{*first, *last, *total};
}

// What names the file as the server has it, for If-Range: a strong ETag (a weak one
// may not be used there), else the Last-Modified date; empty when there is neither.
std::string ValidatorOf(const InternetRequest& request) {
  const std::string etag = request.ETag().value_or("");
  if (!etag.empty() && etag.rfind("W/", 0) != 0) return etag;
  return request.LastModified().value_or("");
}

// A port given as ":digits" at the end of the host; the host keeps anything else,
// which then fails as an unknown host name.
void TakePort(TURLParts& parts) {
  const size_t colon = parts.host.rfind(':');
  if (colon == std::string::npos) return;
  const size_t bracket = parts.host.rfind(']');
  if (bracket != std::string::npos && bracket > colon) return;  // inside an IPv6 address
  const std::string digits = parts.host.substr(colon + 1);
  if (digits.empty() || digits.size() > 5 ||
      !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); })) {
    return;
  }
  const int port = std::stoi(digits);
  if (port < 1 || port > 65535) return;
  parts.port = port;
  parts.host.resize(colon);
}

}  // namespace

TURLParts SplitURL(const std::string& url) {
  TURLParts parts;
  std::string rest = url;
  const std::string lower = Lower(url);
  if (lower.rfind("https://", 0) == 0) {
    parts.secure = true;
    parts.port = 443;
    rest = url.substr(8);
  } else if (lower.find("http://") != std::string::npos) {
    rest = url.substr(std::min<size_t>(7, url.size()));
  }
  const size_t slash = rest.find('/');
  if (slash == std::string::npos) {
    parts.path = rest;
    return parts;
  }
  parts.host = rest.substr(0, slash);
  parts.path = rest.substr(slash);
  TakePort(parts);
  return parts;
}

std::optional<int64_t> ParseContentLength(const std::string& text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  int64_t value = 0;
  for (unsigned char c : text) {
    if (!std::isdigit(c)) return std::nullopt;
    const int digit = c - '0';
    if (value > (std::numeric_limits<int64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

/// Hands a download's progress to the GUI thread one call at a time, so that the
/// worker never waits for the GUI thread: counts that arrive while a call is pending
/// are folded into the next one, and the last count is always delivered.
class TProgressRelay : public TThread {
 public:
  TProgressRelay(Key key, THTTPGetThread& worker) : TThread(key), worker_(worker) {}

  void Report(int64_t readed) {
    {
      std::lock_guard lock(mutex_);
      latest_ = readed;
    }
    changed_.notify_one();
  }
  /// Ends the relay once the latest count has been delivered.
  void Finish() {
    {
      std::lock_guard lock(mutex_);
      finish_ = true;
    }
    changed_.notify_one();
  }

 protected:
  void Execute() override {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return latest_ != delivered_ || finish_; });
      if (latest_ == delivered_) return;
      // Counts that arrive faster than a window repaints are folded into the next one;
      // the last is delivered as soon as the transfer ends.
      changed_.wait_until(lock, pace_.Next(), [this] { return finish_; });
      pace_.Shown();
      const int64_t readed = latest_;
      delivered_ = readed;
      lock.unlock();
      GuiThread::Synchronize([&] { worker_.Params.OnProgress(worker_, worker_.TotalSize, readed); });
      lock.lock();
    }
  }

 private:
  THTTPGetThread& worker_;
  std::mutex mutex_;
  std::condition_variable changed_;
  int64_t latest_ = 0;
  int64_t delivered_ = 0;
  bool finish_ = false;
  ProgressPace pace_;
};

THTTPGetThread::THTTPGetThread(Key key, THTTPGetParams params) : TThread(key), Params(std::move(params)) {}

THTTPGetThread::~THTTPGetThread() = default;

void THTTPGetThread::Abort() {
  aborted_ = true;
  std::lock_guard lock(session_mutex_);
  if (session_) session_->Close();
}

InternetHandle THTTPGetThread::OpenSession() {
  InternetHandle session = OpenInternetSession(Params.Agent, Params.Internet_Type, Params.Proxy_Server);
  if (!session) return nullptr;
  if (!Params.CertificateAuthorities.empty()) session->SetCertificateAuthorities(Params.CertificateAuthorities);
  std::lock_guard lock(session_mutex_);
  session_ = session;
  if (aborted_) session->Close();
  return session;
}

std::optional<Credentials> THTTPGetThread::AskCredentials(const CredentialChallenge& challenge) {
  if (aborted_ || !Params.OnCredentials) return std::nullopt;
  std::optional<Credentials> answer;
  GuiThread::Synchronize([&] { answer = Params.OnCredentials(challenge); });
  if (aborted_) return std::nullopt;
  if (answer) (challenge.asker == CredentialAsker::Server ? given_server_ : given_proxy_) = answer;
  return answer;
}

std::unique_ptr<InternetRequest> THTTPGetThread::SendRequest(InternetSession& session,
                                                             const TURLParts& parts, bool retry) {
  HttpTarget target{parts.host, parts.port, parts.path, "", "", parts.secure};
  // Only a file the server named can be continued: without a validator the rest
  // could belong to another file, so the whole one is asked for again.
  if (Readed > 0 && !validator_.empty()) {
    target.range_start = Readed;
    target.if_range = validator_;
  }
  // A server that took the connection again but does not answer is one more break.
  if (retry) target.time_limit = Params.StallWindow;
  // With a named proxy the configured login is the proxy's: it must never travel to
  // the download server, which may be any host the action list names.
  if (UsesNamedProxy(Params.Internet_Type, Params.Proxy_Server)) {
    session.SetProxyCredentials(Params.UserName, Params.Password);
  } else {
    target.user_name = Params.UserName;
    target.password = Params.Password;
  }
  // A retry answers with what the user gave before instead of asking again; the
  // server's login still goes only on its 401.
  if (given_proxy_) session.SetProxyCredentials(given_proxy_->user_name, given_proxy_->password);
  if (given_server_) {
    target.user_name = given_server_->user_name;
    target.password = given_server_->password;
  }
  return session.SendHttpRequestAsking(
      target, [this](const CredentialChallenge& challenge) { return AskCredentials(challenge); });
}

THTTPGetThread::TAttempt THTTPGetThread::Attempt(InternetSession& session, const TURLParts& parts,
                                                 bool retry) {
  Failure.clear();
  std::unique_ptr<InternetRequest> request = SendRequest(session, parts, retry);
  if (aborted_) return TAttempt::kFatal;
  if (!request) {
    Fail("the server " + parts.host + " could not be reached");
    // The first server that cannot be reached at all leaves the second to be tried.
    return retry ? TAttempt::kBroken : TAttempt::kFatal;
  }
  if (!TakeStart(*request)) {
    // What is in hand is no beginning of the file the server has now: the whole of
    // it is asked for, which no range answer can refuse again.
    if (Readed == 0) return TAttempt::kFatal;
    StartOver();
    return Attempt(session, parts, retry);
  }
  if (Failure.size() || aborted_) return TAttempt::kFatal;
  KeepValidator(*request);
  return Transfer(*request);
}

// Decides where the body goes: a 206 with the rest of the same file continues it,
// any other answer that passes CheckResponse starts it anew. False when the answer
// cannot follow on from what is in hand (a 416, another part, another file).
bool THTTPGetThread::TakeStart(InternetRequest& request) {
  const std::string status = request.StatusCode();
  if (Readed > 0 && status == "416") return false;
  if (Readed > 0 && status == "206") {
    const std::optional<TContentRange> range =
        ParseContentRange(request.ContentRange().value_or(""));
    const std::string validator = ValidatorOf(request);
    if (!range || range->first != Readed || (!validator.empty() && validator != validator_)) {
      return false;
    }
    CheckSize(std::to_string(range->total), true);
    return true;
  }
  if (CheckResponse(request) && Readed > 0) StartOver();
  return true;
}

// Decides from the headers whether the body is wanted and how many bytes it may have.
bool THTTPGetThread::CheckResponse(InternetRequest& request) {
  // Only the file asked for is stored: an error page must never pass for it.
  const std::string status = request.StatusCode();
  if (status != "200") {
    Fail(status.empty() ? "the server sent no answer" : "the server answered HTTP " + status);
    return false;
  }
  return CheckSize(request.ContentLength(), false);
}

// Takes the size the server announced for the whole file; `whole` when a range
// answer stated it, so that it is surely there.
bool THTTPGetThread::CheckSize(const std::optional<std::string>& length_text, bool whole) {
  const std::optional<int64_t> length = length_text ? ParseContentLength(*length_text) : std::nullopt;
  if (length_text && !length) {
    Fail("the server announced a size that is no number (" + *length_text + ")");
    return false;
  }
  if (Params.MaxSize > 0) {
    if (length && *length > Params.MaxSize) {
      Fail("the server announced " + std::to_string(*length) + " bytes, more than the " +
           std::to_string(Params.MaxSize) + " bytes stated");
      return false;
    }
  } else if (!length) {
    // Without a stated size only the announcement tells a whole file from a cut one.
    Fail("the server announced no size");
    return false;
  } else if (*length > kUnstatedSizeCap) {
    Fail("the server announced " + std::to_string(*length) + " bytes, more than the " +
         std::to_string(kUnstatedSizeCap) + " bytes a download of no stated size may take");
    return false;
  }
  announced_ = length.has_value() || whole;
  limit_ = length.value_or(Params.MaxSize);
  TotalSize = limit_;
  return true;
}

void THTTPGetThread::KeepValidator(InternetRequest& request) {
  if (Readed > 0) return;  // the file continued keeps the name it had
  validator_ = ValidatorOf(request);
  if (Params.ResumeTag.empty()) return;
  // A partial file without a note is never continued: nothing could tell its rest.
  if (validator_.empty() ||
      !WritePartialOrigin(Params.FileName, {Params.URL, validator_, Params.ResumeTag})) {
    RemoveFile(PartialInfoPath(Params.FileName));
  }
}

// A partial file an earlier download of the same URL and release left is taken up;
// any other one there goes.
void THTTPGetThread::TakeUpPartial() {
  if (Params.ResumeTag.empty()) return;
  RemoveReplaceLeftovers(PartialInfoPath(Params.FileName));
  const std::optional<PartialOrigin> origin = ReadPartialOrigin(Params.FileName);
  const std::optional<FileStatus> status = QueryFile(PartialFilePath(Params.FileName));
  const bool same = origin && origin->url == Params.URL && origin->release == Params.ResumeTag;
  const bool fits = status && !status->is_dir && !status->is_link && status->size > 0 &&
                    (Params.MaxSize <= 0 || static_cast<int64_t>(status->size) <= Params.MaxSize);
  if (!same || !fits) {
    RemovePartialFile(Params.FileName);
    return;
  }
  Readed = static_cast<int64_t>(status->size);
  validator_ = origin->validator;
}

void THTTPGetThread::StartOver() {
  Readed = 0;
  validator_.clear();
}

std::string THTTPGetThread::WritePath() const {
  return Params.ResumeTag.empty() ? Params.FileName : PartialFilePath(Params.FileName);
}

// Appends the body to what is in hand (or starts the file with it).
THTTPGetThread::TAttempt THTTPGetThread::Transfer(InternetRequest& request) {
  const std::string path = WritePath();
  // The platform's own file calls, so that a folder name in any script works on Windows.
  NativeFile file = Readed == 0 ? NativeFile::CreateOrTruncate(path) : NativeFile::OpenForUpdate(path);
  if (!file.IsOpen()) {
    Fail("the file " + Params.FileName + " cannot be written");
    return TAttempt::kFatal;
  }
  std::vector<char> piece(kReadPiece);
  TStallWatch watch(Params.StallWindow, Params.StallWindowBytes);
  bool written = true;
  bool overlong = false;
  bool stalled = false;
  while (!aborted_) {
    request.SetDeadline(watch.Deadline());
    size_t n = request.Read(piece.data(), piece.size());
    if (n == 0) {
      stalled = request.Failed() && watch.Expired();
      break;
    }
    Received += static_cast<int64_t>(n);
    // Only the bytes within the bound are kept: a server that goes on sends no file.
    if (static_cast<int64_t>(n) > limit_ - Readed) {
      overlong = true;
      n = static_cast<size_t>(limit_ - Readed);
    }
    // Each piece goes to the disk as it arrives: an updater killed meanwhile leaves all
    // it received for the next start to continue from.
    if (!WritePiece(file, Readed, piece.data(), n)) {
      written = false;
      break;
    }
    Readed += static_cast<int64_t>(n);
    if (relay_) relay_->Report(Readed);
    if (overlong) break;
    if (!watch.Count(static_cast<int64_t>(n), Clock::now())) {
      stalled = true;
      break;
    }
  }
  file.Close();
  overlong = overlong || request.Overlong();
  if (!written) {
    Fail("the file " + Params.FileName + " cannot be written");
  } else if (overlong && announced_) {
    Fail("the server sent more than the " + std::to_string(limit_) + " bytes it announced");
  } else if (overlong) {
    // Nothing announced where this body ends: what it left is no part of any file.
    RemoveFile(path);
    Fail("the server sent more than the " + std::to_string(limit_) + " bytes stated");
  } else if (stalled) {
    Fail(watch.Reason());
    return TAttempt::kBroken;
  } else if (request.Failed() || (announced_ && Readed != TotalSize)) {
    // A body cut short is no release file, even when the last read reported no error.
    Fail("the connection broke after " + std::to_string(Readed) + " of " +
         (announced_ ? std::to_string(TotalSize) : std::string("an unknown number of")) + " bytes");
    return TAttempt::kBroken;
  }
  return Failure.empty() ? TAttempt::kDone : TAttempt::kFatal;
}

// Tells the window, then waits out the pause; false when the download was cancelled
// meanwhile.
bool THTTPGetThread::PauseBeforeRetry(size_t attempt) {
  if (aborted_) return false;
  if (Params.OnRetry) {
    const int attempts = static_cast<int>(Params.RetryPauses.size());
    GuiThread::Synchronize(
        [&] { Params.OnRetry(*this, static_cast<int>(attempt) + 1, attempts, Failure); });
  }
  const Clock::time_point end = Clock::now() + Params.RetryPauses[attempt];
  while (!aborted_ && Clock::now() < end) std::this_thread::sleep_for(kAbortCheck);
  return !aborted_;
}

// The whole file in hand takes the place of the target.
bool THTTPGetThread::Complete() {
  if (Params.ResumeTag.empty()) return true;
  if (!RenameReplacing(PartialFilePath(Params.FileName), Params.FileName)) {
    Fail("the file " + Params.FileName + " cannot be written");
    return false;
  }
  RemovePartialFile(Params.FileName);
  return true;
}

void THTTPGetThread::Execute() {
  const TURLParts parts = SplitURL(Params.URL);
  if (parts.host.empty()) return Fail("the address " + Params.URL + " names no server");
  InternetHandle session = OpenSession();
  if (aborted_) return;
  if (!session) return Fail("no internet session could be opened");
  TakeUpPartial();
  if (Params.OnProgress) {
    relay_ = TThread::Create<TProgressRelay>(*this);
    relay_->Start();
  }
  TAttempt result = Attempt(*session, parts, false);
  int64_t farthest = Readed;
  size_t retry = 0;
  while (result == TAttempt::kBroken && retry < Params.RetryPauses.size() &&
         PauseBeforeRetry(retry)) {
    result = Attempt(*session, parts, true);
    // A try that got farther than any before earns the next break the full count and
    // the shortest pause again: a long file over a bad link breaks more than a few times.
    // Farther by a stall window's share at least, or a server that trickles a few bytes
    // before each stall would be asked again for ever.
    retry = Readed >= farthest + Params.StallWindowBytes ? 0 : retry + 1;
    farthest = std::max<int64_t>(farthest, Readed);
  }
  if (relay_) {
    relay_->Finish();
    relay_->WaitFor();
  }
  Succeeded = !aborted_ && result == TAttempt::kDone && Complete();
}

THTTPGet::~THTTPGet() {
  if (!running_) return;
  destroying_ = true;
  worker_->Abort();
  worker_.reset();  // waits for the worker, serving its hand-overs meanwhile
}

void THTTPGet::StartDownload() {
  if (running_) return;
  worker_.reset();
  THTTPGetParams params{Agent,
                        URL,
                        FileName,
                        UserName,
                        Password,
                        Internet_Type,
                        Proxy_Server,
                        CertificateAuthorities,
                        OnProgress,
                        OnCredentials,
                        MaxSize,
                        StallWindow,
                        StallWindowBytes,
                        RetryPauses,
                        ResumeTag,
                        OnRetry};
  worker_ = TThread::Create<THTTPGetThread>(std::move(params));
  THTTPGetThread& worker = *worker_;
  worker.OnTerminate = [this, &worker] { WorkerEnded(worker); };
  running_ = true;
  worker.Start();
}

std::string THTTPGet::FailureText() const {
  if (running_ || !worker_ || worker_->Aborted()) return {};
  return worker_->Failure;
}

void THTTPGet::CancelDownload() {
  if (running_) worker_->Abort();
}

void THTTPGet::WorkerEnded(THTTPGetThread& worker) {
  if (!destroying_) {
    if (worker.Succeeded) {
      if (OnDoneFile) OnDoneFile(*this, worker.Params.FileName, worker.TotalSize);
    } else if (!worker.Aborted() && OnError) {
      OnError(*this);
    }
  }
  running_ = false;
}

}  // namespace kestrova
