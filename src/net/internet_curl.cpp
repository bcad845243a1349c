// The internet seam on libcurl. Each request owns an easy handle driven by its own
// multi handle on the caller's thread: an open drives it until the final response's
// headers are in, each read until the next body bytes are. A session-wide closed mark
// plus curl_multi_wakeup lets Close from another thread end a pending wait at once.
#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "net/internet.h"

namespace kestrova {
namespace {

using Clock = std::chrono::steady_clock;

// More than this many unread body bytes pause the transfer until the reader catches up.
constexpr size_t kMaxBuffered = 256 * 1024;
// Longest single sleep of a driving loop; a wakeup or socket activity ends it sooner.
constexpr int kPollSliceMs = 250;
constexpr long kMaxRedirections = 10;

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyPtr = std::unique_ptr<CURL, EasyDeleter>;
using MultiPtr = std::unique_ptr<CURLM, MultiDeleter>;
using SlistPtr = std::unique_ptr<curl_slist, SlistDeleter>;

class CurlSession;

// What a request adds to its session's settings.
struct RequestExtras {
  std::optional<Credentials> proxy_login;  // instead of the session's
  bool download = false;  // a file: large receive blocks, and notice a body longer than announced
  std::vector<std::string> headers;  // beyond the cache rules
};

// Receive block of a download: the library's default makes a fast link cost many
// more system calls and callbacks than the transfer needs.
constexpr long kDownloadReceiveBlock = 256 * 1024;

/// One transfer, driven by the thread that opens and reads it.
class CurlRequest : public PortRequest {
 public:
  CurlRequest(std::shared_ptr<CurlSession> session, MultiPtr multi, EasyPtr easy,
              const std::vector<std::string>& headers);
  ~CurlRequest() override;

  // Drives the transfer until the final headers are in; false when it failed first.
  bool AwaitHeaders(Clock::time_point deadline);

  size_t Read(char* buffer, size_t size) override;
  bool Overlong() const override { return overlong_; }

  // Has the library report a body longer than its Content-Length, which it cuts off.
  void WatchLength();

  void Interrupt() override { curl_multi_wakeup(multi_.get()); }

 private:
  static size_t OnHeader(char* data, size_t size, size_t count, void* self);
  static size_t OnBody(char* data, size_t size, size_t count, void* self);
  static int OnDebug(CURL* easy, curl_infotype type, char* text, size_t size, void* self);
  void TakeHeaderLine(std::string line);

  // Runs the transfer until `ready` holds, it ends, or it must give up.
  template <typename Ready>
  void Drive(Ready ready, Clock::time_point deadline);
  void CollectFinished();
  size_t Buffered() const { return buffer_.size() - read_pos_; }

  // Declared so that the easy handle goes first, then its multi handle, then the
  // header list the easy handle points to.
  std::shared_ptr<CurlSession> session_;
  SlistPtr header_lines_;
  MultiPtr multi_;
  EasyPtr easy_;

  std::string block_status_;  // status of the header block being received
  bool block_has_location_ = false;
  std::optional<std::string> block_length_;
  ResponseHeaders block_headers_;
  bool headers_done_ = false;

  std::string buffer_;
  size_t read_pos_ = 0;
  bool paused_ = false;
  bool transfer_done_ = false;
  bool overlong_ = false;

  friend class CurlSession;
};

/// A session: the settings every request copies, and the requests in flight so
/// that Close can wake them.
class CurlSession : public PortSession, public std::enable_shared_from_this<CurlSession> {
 public:
  CurlSession(std::string agent, int32_t open_type, std::string proxy)
      : agent_(std::move(agent)), open_type_(open_type), proxy_(std::move(proxy)) {}

  void SetProxyCredentials(const std::string& user_name, const std::string& password) override {
    std::lock_guard lock(mutex_);
    proxy_user_ = user_name;
    proxy_password_ = password;
  }

  std::unique_ptr<InternetRequest> OpenUrl(const std::string& url,
                                           std::chrono::milliseconds time_limit) override {
    return Open(url, "", "", time_limit);
  }

  std::unique_ptr<InternetRequest> SendHttpRequest(const HttpTarget& target) override {
    RequestExtras extras;
    extras.headers = RangeHeaders(target);
    return Open(TargetUrl(target), target.user_name, target.password, target.time_limit, &extras);
  }

  std::unique_ptr<InternetRequest> SendHttpRequestAsking(const HttpTarget& target,
                                                         const CredentialPrompt& prompt) override;

  void SetCertificateAuthorities(const std::string& pem_file) override {
    std::lock_guard lock(mutex_);
    ca_file_ = pem_file;
  }

 private:
  static std::string TargetUrl(const HttpTarget& target) {
    return (target.secure ? "https://" : "http://") + target.host + ":" + std::to_string(target.port) +
           target.path;
  }
  std::unique_ptr<InternetRequest> Open(const std::string& url, const std::string& user,
                                        const std::string& password,
                                        std::chrono::milliseconds time_limit,
                                        const RequestExtras* extras = nullptr);
  void ApplyAccess(CURL* easy, bool secure);
  void ApplyExtras(CURL* easy, const RequestExtras& extras);
  std::string ProxyHost(bool secure) const;

  const std::string agent_;
  const int32_t open_type_;
  const std::string proxy_;
  std::mutex mutex_;  // guards what follows
  std::string proxy_user_;
  std::string proxy_password_;
  std::string ca_file_;
};

CurlRequest::CurlRequest(std::shared_ptr<CurlSession> session, MultiPtr multi, EasyPtr easy,
                         const std::vector<std::string>& headers)
    : session_(std::move(session)), multi_(std::move(multi)), easy_(std::move(easy)) {
  curl_easy_setopt(easy_.get(), CURLOPT_HEADERFUNCTION, &CurlRequest::OnHeader);
  curl_easy_setopt(easy_.get(), CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy_.get(), CURLOPT_WRITEFUNCTION, &CurlRequest::OnBody);
  curl_easy_setopt(easy_.get(), CURLOPT_WRITEDATA, this);
  // Intermediate caches must fetch afresh from the server, like a reload does.
  curl_slist* list = curl_slist_append(nullptr, "Cache-Control: no-cache");
  header_lines_.reset(list);
  std::vector<std::string> lines{"Pragma: no-cache"};
  lines.insert(lines.end(), headers.begin(), headers.end());
  for (const std::string& line : lines) {
    if (!list) break;
    list = curl_slist_append(list, line.c_str());
  }
  curl_easy_setopt(easy_.get(), CURLOPT_HTTPHEADER, header_lines_.get());
}

CurlRequest::~CurlRequest() {
  // Unregister first, so that a Close on another thread never wakes a dying handle.
  session_->Unregister(this);
  curl_multi_remove_handle(multi_.get(), easy_.get());
}

size_t CurlRequest::OnHeader(char* data, size_t size, size_t count, void* self) {
  static_cast<CurlRequest*>(self)->TakeHeaderLine(std::string(data, size * count));
  return size * count;
}

// Headers come block by block: interim (1xx) responses and redirections that the
// library follows are passed by; the first other block is the final response.
void CurlRequest::TakeHeaderLine(std::string line) {
  if (headers_done_) return;  // trailers
  if (StartsWithIgnoreCase(line, "http/")) {
    const size_t blank = line.find(' ');
    block_status_ = blank == std::string::npos ? "" : std::string(TrimBlanks(line.substr(blank + 1, 4)));
    block_has_location_ = false;
    block_length_.reset();
    block_headers_ = {};
    return;
  }
  if (block_headers_.Take(line)) return;
  if (StartsWithIgnoreCase(line, "location:")) {
    block_has_location_ = true;
    return;
  }
  if (StartsWithIgnoreCase(line, "content-length:")) {
    block_length_ = std::string(TrimBlanks(line.substr(15)));
    return;
  }
  if (line != "\r\n" && line != "\n") return;
  const bool interim = !block_status_.empty() && block_status_[0] == '1';
  const bool followed = !block_status_.empty() && block_status_[0] == '3' && block_has_location_;
  if (interim || followed) return;
  headers_done_ = true;
  status_ = block_status_;
  content_length_ = block_length_;
  headers_ = block_headers_;
}

size_t CurlRequest::OnBody(char* data, size_t size, size_t count, void* self) {
  auto* request = static_cast<CurlRequest*>(self);
  if (request->session_->Closed()) return 0;  // ends the transfer as failed
  if (request->Buffered() >= kMaxBuffered) {
    request->paused_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  if (!request->headers_done_) {
    request->headers_done_ = true;
    request->status_ = request->block_status_;
    request->content_length_ = request->block_length_;
    request->headers_ = request->block_headers_;
  }
  request->buffer_.append(data, size * count);
  return size * count;
}

void CurlRequest::WatchLength() {
  curl_easy_setopt(easy_.get(), CURLOPT_DEBUGFUNCTION, &CurlRequest::OnDebug);
  curl_easy_setopt(easy_.get(), CURLOPT_DEBUGDATA, this);
  curl_easy_setopt(easy_.get(), CURLOPT_VERBOSE, 1L);
}

// The library drops bytes beyond the announced length and says so only in its
// informational text.
int CurlRequest::OnDebug(CURL*, curl_infotype type, char* text, size_t size, void* self) {
  static constexpr std::string_view kExcess = "Excess found";
  if (type == CURLINFO_TEXT && std::string_view(text, size).substr(0, kExcess.size()) == kExcess) {
    static_cast<CurlRequest*>(self)->overlong_ = true;
  }
  return 0;
}

void CurlRequest::CollectFinished() {
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_.get(), &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    transfer_done_ = true;
    if (message->data.result != CURLE_OK) failed_ = true;
  }
}

template <typename Ready>
void CurlRequest::Drive(Ready ready, Clock::time_point deadline) {
  while (!ready() && !transfer_done_ && !failed_) {
    if (session_->Closed() || Clock::now() >= deadline) {
      failed_ = true;
      return;
    }
    int running = 0;
    if (curl_multi_perform(multi_.get(), &running) != CURLM_OK) {
      failed_ = true;
      return;
    }
    CollectFinished();
    if (ready() || transfer_done_ || failed_) return;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    const int wait_ms = static_cast<int>(std::clamp<long long>(left.count(), 0, kPollSliceMs));
    curl_multi_poll(multi_.get(), nullptr, 0, wait_ms, nullptr);
  }
}

bool CurlRequest::AwaitHeaders(Clock::time_point deadline) {
  Drive([this] { return headers_done_; }, deadline);
  if (!headers_done_ && transfer_done_ && !failed_) {
    // A response the header parser could not place (no status line): trust the library.
    long code = 0;
    curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &code);
    if (code > 0) {
      headers_done_ = true;
      status_ = std::to_string(code);
    }
  }
  return headers_done_ && !session_->Closed();
}

size_t CurlRequest::Read(char* buffer, size_t size) {
  if (size == 0) return 0;
  const auto stall_limit = session_->ReadStallLimit();
  while (Buffered() == 0) {
    if (failed_ || transfer_done_) return 0;
    if (paused_) {
      paused_ = false;
      curl_easy_pause(easy_.get(), CURLPAUSE_CONT);
      if (Buffered() > 0) break;
    }
    Drive([this] { return Buffered() > 0; }, std::min(Clock::now() + stall_limit, deadline_));
  }
  if (session_->Closed()) {
    failed_ = true;
    return 0;
  }
  const size_t n = std::min(size, Buffered());
  std::memcpy(buffer, buffer_.data() + read_pos_, n);
  read_pos_ += n;
  if (read_pos_ == buffer_.size()) {
    buffer_.clear();
    read_pos_ = 0;
  }
  return n;
}

void CurlSession::ApplyAccess(CURL* easy, bool secure) {
  switch (open_type_) {
    case kOpenTypeDirect:
      curl_easy_setopt(easy, CURLOPT_PROXY, "");  // also ignores the proxy variables
      break;
    case kOpenTypeProxy: {
      curl_easy_setopt(easy, CURLOPT_PROXY, ProxyForScheme(proxy_, secure).c_str());
      curl_easy_setopt(easy, CURLOPT_PROXYPORT, 80L);  // when the name carries no port
      curl_easy_setopt(easy, CURLOPT_NOPROXY, "");     // the named proxy takes every host
      std::lock_guard lock(mutex_);
      if (!proxy_user_.empty() || !proxy_password_.empty()) {
        curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, proxy_user_.c_str());
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, proxy_password_.c_str());
      }
      break;
    }
    default:
      break;  // the system's settings: the library reads the proxy variables
  }
}

std::unique_ptr<InternetRequest> CurlSession::Open(const std::string& url, const std::string& user,
                                                   const std::string& password,
                                                   std::chrono::milliseconds time_limit,
                                                   const RequestExtras* extras) {
  if (Closed()) return nullptr;
  EasyPtr easy(curl_easy_init());
  MultiPtr multi(curl_multi_init());
  if (!easy || !multi) return nullptr;
  CURL* e = easy.get();
  const std::string wire_url = WireUrl(url);
  if (curl_easy_setopt(e, CURLOPT_URL, wire_url.c_str()) != CURLE_OK) return nullptr;
  // Only web servers: a configured "file:" or other scheme must not reach local files.
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirections);
  curl_easy_setopt(e, CURLOPT_USERAGENT, agent_.c_str());
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  if (!user.empty() || !password.empty()) {
    curl_easy_setopt(e, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(e, CURLOPT_PASSWORD, password.c_str());
    curl_easy_setopt(e, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);  // sent at once, no probe round
  }
  ApplyAccess(e, StartsWithIgnoreCase(url, "https:"));
  {
    std::lock_guard lock(mutex_);
    if (!ca_file_.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, ca_file_.c_str());
  }
  if (extras) ApplyExtras(e, *extras);

  auto request =
      std::make_unique<CurlRequest>(shared_from_this(), std::move(multi), std::move(easy),
                                    extras ? extras->headers : std::vector<std::string>{});
  if (!Register(request.get())) return nullptr;
  if (extras && extras->download) request->WatchLength();
  if (curl_multi_add_handle(request->multi_.get(), e) != CURLM_OK) return nullptr;
  const auto deadline = time_limit.count() > 0 ? Clock::now() + time_limit : Clock::time_point::max();
  if (!request->AwaitHeaders(deadline)) return nullptr;
  return request;
}

void CurlSession::ApplyExtras(CURL* easy, const RequestExtras& extras) {
  if (extras.download) curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kDownloadReceiveBlock);
  if (extras.proxy_login) {
    curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, extras.proxy_login->user_name.c_str());
    curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, extras.proxy_login->password.c_str());
  }
}

// The proxy a request goes through, as the credential prompt names it.
std::string CurlSession::ProxyHost(bool secure) const {
  if (open_type_ == kOpenTypeProxy) return ProxyForScheme(proxy_, secure);
  for (const char* name : {secure ? "https_proxy" : "http_proxy", secure ? "HTTPS_PROXY" : "HTTP_PROXY",
                           "all_proxy", "ALL_PROXY"}) {
    if (const char* value = std::getenv(name); value && *value) return value;
  }
  return "";
}

std::unique_ptr<InternetRequest> CurlSession::SendHttpRequestAsking(const HttpTarget& target,
                                                                    const CredentialPrompt& prompt) {
  const std::string url = TargetUrl(target);
  auto send = [&](const RequestLogins& logins) {
    RequestExtras extras;
    extras.download = true;
    extras.proxy_login = logins.proxy;
    extras.headers = RangeHeaders(target);
    const std::string user = logins.server ? logins.server->user_name : "";
    const std::string password = logins.server ? logins.server->password : "";
    return Open(url, user, password, target.time_limit, &extras);
  };
  auto answer = [&](const CredentialChallenge& challenge, InternetRequest&) {
    return prompt ? prompt(challenge) : std::nullopt;
  };
  return SendAskingForLogins(*this, target, ProxyHost(target.secure), send, answer);
}

}  // namespace

InternetHandle OpenLibrarySession(const std::string& agent, int32_t open_type,
                                  const std::string& proxy_server) {
  InitCurlOnce();
  return std::make_shared<CurlSession>(agent, open_type, proxy_server);
}

}  // namespace kestrova
