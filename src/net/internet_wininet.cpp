// The internet seam on WinInet, used synchronously. Every blocking call runs on a
// request handle the request object owns; aborting a request closes that handle from
// whichever thread decides to (Close, the open's time limit, a read's stall limit or
// deadline), which is how WinInet lets another thread end a pending call. The session
// keeps its requests in flight so that Close reaches each of them.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "base/text.h"
#include "net/internet.h"
#include "net/internet_wininet.h"

namespace kestrova {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kDefaultReadStallLimit = std::chrono::seconds(60);
// Fresh from the server: no cache read or write, and intermediate caches told so too.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_KEEP_CONNECTION |
                                INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTH;

std::wstring Wide(std::string_view text) {
  const std::u16string wide = Utf8ToUtf16(text);
  return std::wstring(wide.begin(), wide.end());
}

std::string Narrow(const wchar_t* text) {
  const std::wstring_view view(text);
  return Utf16ToUtf8(std::u16string(view.begin(), view.end()));
}

std::string Base64(std::string_view bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    uint32_t group = 0;
    for (size_t k = 0; k < 3; ++k) {
      group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (size_t k = 0; k < 4; ++k) out += k <= n ? kDigits[(group >> (18 - 6 * k)) & 0x3F] : '=';
  }
  return out;
}

std::string BasicLogin(const Credentials& login) {
  return "Basic " + Base64(login.user_name + ":" + login.password);
}

// The wire form of a URL: bytes that may not travel in one as they are (blanks,
// controls, non-ASCII) are percent-encoded; everything else is left alone, so the
// server sees the pieces exactly as the caller joined them.
std::string WireUrl(std::string_view url) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : url) {
    if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
        c == '`' || c == '{' || c == '|' || c == '}') {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// An http or https URL split for a connection; nothing for any other scheme, so that
// a configured "file:" or similar never reaches anything but a web server.
std::optional<HttpTarget> TargetOf(const std::string& url) {
  HttpTarget target;
  std::string_view rest(url);
  if (StartsWithNoCase(rest, "http://")) {
    rest.remove_prefix(7);
  } else if (StartsWithNoCase(rest, "https://")) {
    rest.remove_prefix(8);
    target.secure = true;
    target.port = 443;
  } else {
    return std::nullopt;
  }
  const size_t path_at = rest.find_first_of("/?");
  std::string_view authority = rest.substr(0, path_at);
  target.path = path_at == std::string_view::npos ? "/" : std::string(rest.substr(path_at));
  if (target.path[0] == '?') target.path = "/" + target.path;
  if (authority.find('@') != std::string_view::npos) return std::nullopt;  // no logins in URLs
  const size_t colon = authority.rfind(':');
  if (colon != std::string_view::npos && authority.find(']', colon) == std::string_view::npos) {
    const std::string_view digits = authority.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return std::nullopt;
    }
    target.port = std::stoi(std::string(digits));
    authority = authority.substr(0, colon);
  }
  if (authority.size() > 2 && authority.front() == '[' && authority.back() == ']') {
    authority = authority.substr(1, authority.size() - 2);
  }
  if (authority.empty() || target.port <= 0 || target.port > 65535) return std::nullopt;
  target.host = std::string(authority);
  return target;
}

// The entry "scheme=host:port" of a per-scheme proxy list, or the whole setting when
// it names one proxy for every scheme.
std::string ProxyForScheme(const std::string& setting, bool secure) {
  if (setting.find('=') == std::string::npos) return setting;
  for (const char* scheme : {secure ? "https=" : "http=", "http="}) {
    size_t start = 0;
    while (start < setting.size()) {
      size_t end = setting.find_first_of(" ;", start);
      if (end == std::string::npos) end = setting.size();
      const std::string entry = setting.substr(start, end - start);
      if (StartsWithNoCase(entry, scheme)) return entry.substr(std::string_view(scheme).size());
      start = end + 1;
    }
  }
  return "";
}

std::optional<std::string> QueryText(HINTERNET request, DWORD what) {
  std::wstring buffer(128, L'\0');
  for (;;) {
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    DWORD index = 0;
    if (HttpQueryInfoW(request, what, buffer.data(), &size, &index)) {
      buffer.resize(size / sizeof(wchar_t));
      return Narrow(buffer.c_str());
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size / sizeof(wchar_t) < buffer.size()) {
      return std::nullopt;
    }
    buffer.assign(size / sizeof(wchar_t) + 1, L'\0');
  }
}

std::atomic<HWND> dialog_owner{nullptr};

// The system's password dialog, for a request refused for want of credentials when
// the caller has no prompt of its own. It needs a window to belong to; until the
// window port names one, nobody is asked.
std::optional<Credentials> AskWithSystemDialog(HINTERNET request, bool proxy) {
  const HWND owner = dialog_owner;
  if (!owner) return std::nullopt;
  const DWORD flags = FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                      FLAGS_ERROR_UI_FLAGS_GENERATE_DATA;
  if (InternetErrorDlg(owner, request, ERROR_SUCCESS, flags, nullptr) != ERROR_INTERNET_FORCE_RETRY) {
    return std::nullopt;
  }
  auto option = [request](DWORD which) {
    wchar_t text[256] = {};
    DWORD size = sizeof text;
    return InternetQueryOptionW(request, which, text, &size) ? Narrow(text) : std::string();
  };
  return proxy ? Credentials{option(INTERNET_OPTION_PROXY_USERNAME), option(INTERNET_OPTION_PROXY_PASSWORD)}
               : Credentials{option(INTERNET_OPTION_USERNAME), option(INTERNET_OPTION_PASSWORD)};
}

/// Calls `ring` once the time set last has come, on a thread of its own that starts
/// with the first Set.
class Alarm {
 public:
  explicit Alarm(std::function<void()> ring) : ring_(std::move(ring)) {}
  ~Alarm() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
  }

  void Set(Clock::time_point when) {
    {
      std::lock_guard lock(mutex_);
      when_ = when;
      if (!thread_.joinable() && when != Clock::time_point::max()) {
        thread_ = std::thread([this] { Run(); });
      }
    }
    changed_.notify_all();
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      if (Clock::now() >= when_) {
        when_ = Clock::time_point::max();
        lock.unlock();
        ring_();
        lock.lock();
        continue;
      }
      if (when_ == Clock::time_point::max()) {
        changed_.wait(lock);
      } else {
        changed_.wait_until(lock, when_);
      }
    }
  }

  std::function<void()> ring_;
  std::mutex mutex_;
  std::condition_variable changed_;
  Clock::time_point when_ = Clock::time_point::max();
  bool stop_ = false;
  std::thread thread_;
};

class WinInetSession;

/// One request: its connection and request handles, closed by whoever aborts it
/// first or by its destructor.
class WinInetRequest : public InternetRequest {
 public:
  WinInetRequest(std::shared_ptr<WinInetSession> session, HINTERNET connection, HINTERNET request);
  ~WinInetRequest() override;

  // Sends the request with `headers` and waits for the response's headers; false when
  // that failed or the request was aborted meanwhile.
  bool Send(const std::string& headers, Clock::time_point deadline);

  std::string StatusCode() const override { return status_; }
  std::optional<std::string> ContentLength() const override { return content_length_; }
  size_t Read(char* buffer, size_t size) override;
  bool Failed() const override { return failed_; }
  void SetDeadline(Clock::time_point deadline) override { deadline_ = deadline; }

  // Closes the handles so that a call pending on another thread returns at once.
  void Abort();
  HINTERNET Handle();

 private:
  void CloseHandles();

  std::shared_ptr<WinInetSession> session_;
  std::mutex mutex_;  // guards the handles
  HINTERNET connection_;
  HINTERNET request_;
  std::atomic<bool> aborted_{false};
  std::string status_;
  std::optional<std::string> content_length_;
  std::optional<unsigned long long> expected_;
  unsigned long long received_ = 0;
  bool failed_ = false;
  Clock::time_point deadline_ = Clock::time_point::max();
  Alarm alarm_{[this] { Abort(); }};
};

/// An internet handle and the settings its requests share.
class WinInetSession : public InternetSession, public std::enable_shared_from_this<WinInetSession> {
 public:
  WinInetSession(HINTERNET internet, int32_t open_type, std::string proxy)
      : internet_(internet), open_type_(open_type), proxy_(std::move(proxy)) {}
  ~WinInetSession() override { InternetCloseHandle(internet_); }

  void SetProxyCredentials(const std::string& user_name, const std::string& password) override;

  std::unique_ptr<InternetRequest> OpenUrl(const std::string& url,
                                           std::chrono::milliseconds time_limit) override {
    const std::optional<HttpTarget> target = TargetOf(WireUrl(url));
    if (!target) return nullptr;
    const auto deadline = time_limit.count() > 0 ? Clock::now() + time_limit : Clock::time_point::max();
    return Send(*target, std::nullopt, std::nullopt, deadline);
  }

  std::unique_ptr<InternetRequest> SendHttpRequest(const HttpTarget& target) override {
    std::optional<Credentials> login;
    if (!target.user_name.empty() || !target.password.empty()) {
      login = Credentials{target.user_name, target.password};
    }
    return Send(target, login, std::nullopt, Clock::time_point::max());
  }

  std::unique_ptr<InternetRequest> SendHttpRequestAsking(const HttpTarget& target,
                                                         const CredentialPrompt& prompt) override;

  // WinInet checks certificates only against the system's store, so a file of other
  // authorities cannot be honoured; https requests then fail rather than trust less
  // or more than the caller asked.
  void SetCertificateAuthorities(const std::string& pem_file) override {
    std::lock_guard lock(mutex_);
    own_authorities_ = !pem_file.empty();
  }

  void SetReadStallLimit(std::chrono::milliseconds limit) override {
    std::lock_guard lock(mutex_);
    read_stall_limit_ = limit;
  }

  void Close() override {
    // Under the lock no request can go away: each unregisters before it closes.
    std::lock_guard lock(mutex_);
    closed_ = true;
    for (WinInetRequest* request : active_) request->Abort();
  }
  bool Closed() const override { return closed_; }

  std::chrono::milliseconds ReadStallLimit() {
    std::lock_guard lock(mutex_);
    return read_stall_limit_;
  }
  bool Register(WinInetRequest* request) {
    std::lock_guard lock(mutex_);
    if (closed_) return false;
    active_.push_back(request);
    return true;
  }
  void Unregister(WinInetRequest* request) {
    std::lock_guard lock(mutex_);
    active_.erase(std::remove(active_.begin(), active_.end(), request), active_.end());
  }

 private:
  std::unique_ptr<WinInetRequest> Send(const HttpTarget& target,
                                       const std::optional<Credentials>& server_login,
                                       const std::optional<Credentials>& proxy_login,
                                       Clock::time_point deadline);
  std::string HeadersFor(const HttpTarget& target, const std::optional<Credentials>& server_login,
                         const std::optional<Credentials>& proxy_login);
  std::string ProxyHost(bool secure) const {
    return open_type_ == kOpenTypeProxy ? ProxyForScheme(proxy_, secure) : "";
  }

  const HINTERNET internet_;
  const int32_t open_type_;
  const std::string proxy_;
  std::atomic<bool> closed_{false};
  std::mutex mutex_;  // guards what follows
  std::optional<Credentials> proxy_login_;
  std::chrono::milliseconds read_stall_limit_ = kDefaultReadStallLimit;
  bool own_authorities_ = false;
  std::vector<WinInetRequest*> active_;
};

WinInetRequest::WinInetRequest(std::shared_ptr<WinInetSession> session, HINTERNET connection,
                               HINTERNET request)
    : session_(std::move(session)), connection_(connection), request_(request) {}

WinInetRequest::~WinInetRequest() {
  alarm_.Set(Clock::time_point::max());
  session_->Unregister(this);
  CloseHandles();
}

void WinInetRequest::CloseHandles() {
  std::lock_guard lock(mutex_);
  if (request_) InternetCloseHandle(request_);
  if (connection_) InternetCloseHandle(connection_);
  request_ = connection_ = nullptr;
}

void WinInetRequest::Abort() {
  aborted_ = true;
  CloseHandles();
}

HINTERNET WinInetRequest::Handle() {
  std::lock_guard lock(mutex_);
  return request_;
}

bool WinInetRequest::Send(const std::string& headers, Clock::time_point deadline) {
  if (!session_->Register(this)) return false;
  alarm_.Set(deadline);
  const std::wstring wide_headers = Wide(headers);
  HINTERNET request = Handle();
  const bool sent = request && HttpSendRequestW(request, wide_headers.c_str(),
                                                static_cast<DWORD>(wide_headers.size()), nullptr, 0);
  alarm_.Set(Clock::time_point::max());
  if (!sent || aborted_) return false;
  {
    // Held so that an abort cannot close the handle under the queries.
    std::lock_guard lock(mutex_);
    if (!request_) return false;
    status_ = QueryText(request_, HTTP_QUERY_STATUS_CODE).value_or("");
    content_length_ = QueryText(request_, HTTP_QUERY_CONTENT_LENGTH);
  }
  if (content_length_ && !content_length_->empty() &&
      std::all_of(content_length_->begin(), content_length_->end(),
                  [](char c) { return c >= '0' && c <= '9'; }) &&
      content_length_->size() < 20) {
    expected_ = std::stoull(*content_length_);
  }
  return !aborted_;
}

size_t WinInetRequest::Read(char* buffer, size_t size) {
  if (size == 0 || failed_) return 0;
  if (aborted_) {
    failed_ = true;
    return 0;
  }
  alarm_.Set(std::min(Clock::now() + session_->ReadStallLimit(), deadline_));
  DWORD got = 0;
  HINTERNET request = Handle();
  const bool ok = request && InternetReadFile(request, buffer, static_cast<DWORD>(std::min<size_t>(size, MAXDWORD)), &got);
  alarm_.Set(Clock::time_point::max());
  if (!ok || aborted_) {
    failed_ = true;
    return 0;
  }
  received_ += got;
  // WinInet ends a body cut short like a complete one; only the count tells them apart.
  if (got == 0 && expected_ && received_ < *expected_) failed_ = true;
  return got;
}

void WinInetSession::SetProxyCredentials(const std::string& user_name, const std::string& password) {
  {
    std::lock_guard lock(mutex_);
    proxy_login_ = Credentials{user_name, password};
  }
  // For the tunnel of https requests, which the headers of a request cannot reach.
  InternetSetOptionA(internet_, INTERNET_OPTION_PROXY_USERNAME, const_cast<char*>(user_name.c_str()),
                     static_cast<DWORD>(user_name.size()));
  InternetSetOptionA(internet_, INTERNET_OPTION_PROXY_PASSWORD, const_cast<char*>(password.c_str()),
                     static_cast<DWORD>(password.size()));
}

// Logins travel as headers of our own making, so that each goes exactly to whoever it
// is meant for: the server's to the server, the proxy's only to a proxy that sees the
// request in the clear (plain http; a tunnel gets it from WinInet's options).
std::string WinInetSession::HeadersFor(const HttpTarget& target,
                                       const std::optional<Credentials>& server_login,
                                       const std::optional<Credentials>& proxy_login) {
  std::string headers = "Cache-Control: no-cache\r\n";  // the flags add the Pragma
  if (server_login) headers += "Authorization: " + BasicLogin(*server_login) + "\r\n";
  std::optional<Credentials> for_proxy = proxy_login;
  if (!for_proxy && open_type_ == kOpenTypeProxy) {
    std::lock_guard lock(mutex_);
    if (proxy_login_ && (!proxy_login_->user_name.empty() || !proxy_login_->password.empty())) {
      for_proxy = proxy_login_;
    }
  }
  if (for_proxy && !target.secure && open_type_ != kOpenTypeDirect) {
    headers += "Proxy-Authorization: " + BasicLogin(*for_proxy) + "\r\n";
  }
  return headers;
}

std::unique_ptr<WinInetRequest> WinInetSession::Send(const HttpTarget& target,
                                                     const std::optional<Credentials>& server_login,
                                                     const std::optional<Credentials>& proxy_login,
                                                     Clock::time_point deadline) {
  if (closed_) return nullptr;
  {
    std::lock_guard lock(mutex_);
    if (target.secure && own_authorities_) return nullptr;
  }
  if (target.host.empty() || target.port <= 0 || target.port > 65535) return nullptr;
  HINTERNET connection = InternetConnectW(internet_, Wide(target.host).c_str(),
                                          static_cast<INTERNET_PORT>(target.port), nullptr, nullptr,
                                          INTERNET_SERVICE_HTTP, 0, 0);
  if (!connection) return nullptr;
  const DWORD flags = kRequestFlags | (target.secure ? INTERNET_FLAG_SECURE : 0);
  HINTERNET handle = HttpOpenRequestW(connection, L"GET", Wide(WireUrl(target.path)).c_str(), nullptr,
                                      nullptr, nullptr, flags, 0);
  if (!handle) {
    InternetCloseHandle(connection);
    return nullptr;
  }
  auto request = std::make_unique<WinInetRequest>(shared_from_this(), connection, handle);
  if (!request->Send(HeadersFor(target, server_login, proxy_login), deadline)) return nullptr;
  return request;
}

std::unique_ptr<InternetRequest> WinInetSession::SendHttpRequestAsking(const HttpTarget& target,
                                                                      const CredentialPrompt& prompt) {
  // The server gets credentials only once it has refused the request without them,
  // so that they never travel to a server that did not ask.
  std::optional<Credentials> server_login;
  std::optional<Credentials> proxy_login;
  const bool has_given = !target.user_name.empty() || !target.password.empty();
  for (;;) {
    auto request = Send(target, server_login, proxy_login, Clock::time_point::max());
    if (!request) return nullptr;
    const std::string status = request->StatusCode();
    if (status != "401" && status != "407") return request;
    if (status == "401" && has_given && !server_login) {
      server_login = Credentials{target.user_name, target.password};
      continue;
    }
    const CredentialChallenge challenge =
        status == "401" ? CredentialChallenge{CredentialAsker::Server, target.host + ":" + std::to_string(target.port)}
                        : CredentialChallenge{CredentialAsker::Proxy, ProxyHost(target.secure)};
    std::optional<Credentials> answer;
    if (prompt) {
      answer = prompt(challenge);
    } else if (HINTERNET handle = request->Handle()) {
      answer = AskWithSystemDialog(handle, challenge.asker == CredentialAsker::Proxy);
    }
    if (!answer || closed_) return request;
    (challenge.asker == CredentialAsker::Server ? server_login : proxy_login) = std::move(answer);
  }
}

}  // namespace

void SetCredentialDialogOwner(void* window) { dialog_owner = static_cast<HWND>(window); }

InternetHandle OpenInternetSession(const std::string& agent, int32_t open_type,
                                   const std::string& proxy_server) {
  DWORD access = 0;
  switch (open_type) {
    case kOpenTypePreconfig: access = INTERNET_OPEN_TYPE_PRECONFIG; break;
    case kOpenTypeDirect: access = INTERNET_OPEN_TYPE_DIRECT; break;
    case kOpenTypePreconfigNoAutoProxy: access = INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY; break;
    case kOpenTypeProxy:
      if (proxy_server.empty()) return nullptr;  // a named proxy needs a name
      access = INTERNET_OPEN_TYPE_PROXY;
      break;
    default: return nullptr;
  }
  const std::wstring wide_agent = Wide(agent);
  const std::wstring wide_proxy = Wide(proxy_server);
  HINTERNET internet = InternetOpenW(wide_agent.c_str(), access,
                                     access == INTERNET_OPEN_TYPE_PROXY ? wide_proxy.c_str() : nullptr,
                                     nullptr, 0);
  if (!internet) return nullptr;
  return std::make_shared<WinInetSession>(internet, open_type,
                                          access == INTERNET_OPEN_TYPE_PROXY ? proxy_server : "");
}

}  // namespace kestrova
