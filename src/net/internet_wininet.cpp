// The internet seam on WinInet, used synchronously. Each request makes its blocking
// calls on a thread of its own, so that whichever thread decides to end one (Close,
// the open's time limit, a read's stall limit or deadline) can give up on it at once;
// the request's handles are closed as well, which is how WinInet ends a pending call
// where it can. The session keeps its requests in flight so that Close reaches them.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
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

// An http or https URL split for a connection; nothing for any other scheme, so that
// a configured "file:" or similar never reaches anything but a web server.
std::optional<HttpTarget> TargetOf(const std::string& url) {
  HttpTarget target;
  std::string_view rest(url);
  if (StartsWithIgnoreCase(rest, "http://")) {
    rest.remove_prefix(7);
  } else if (StartsWithIgnoreCase(rest, "https://")) {
    rest.remove_prefix(8);
    target.secure = true;
    target.port = 443;
  } else {
    return std::nullopt;
  }
  const size_t path_at = rest.find_first_of("/?");
  std::string_view authority = rest.substr(0, path_at);
  target.path = path_at == std::string_view::npos ? std::string() : std::string(rest.substr(path_at));
  if (target.path.empty() || target.path[0] == '?') target.path.insert(target.path.begin(), '/');
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

Clock::time_point Deadline(const HttpTarget& target) {
  return target.time_limit.count() > 0 ? Clock::now() + target.time_limit
                                       : Clock::time_point::max();
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

/// Runs the blocking calls of one request on a thread of its own, so that the thread
/// that asked can give up on a call at any moment: WinInet does not promise that
/// closing a handle ends every call pending on it at once. A call given up on runs to
/// its end on its own; it works only on what it shares with this object.
class CallThread {
 public:
  CallThread() : shared_(std::make_shared<Shared>()) {
    std::thread([shared = shared_] { Serve(*shared); }).detach();
  }
  ~CallThread() {
    {
      std::lock_guard lock(shared_->mutex);
      shared_->quit = true;
    }
    shared_->changed.notify_all();
  }
  CallThread(const CallThread&) = delete;
  CallThread& operator=(const CallThread&) = delete;

  // Runs `call` there and returns its result; false when GiveUp or `deadline` came
  // first.
  bool Run(std::function<bool()> call, Clock::time_point deadline) {
    std::unique_lock lock(shared_->mutex);
    if (shared_->given_up || shared_->busy) return false;
    shared_->call = std::move(call);
    shared_->busy = true;
    shared_->changed.notify_all();
    while (shared_->busy && !shared_->given_up) {
      if (deadline == Clock::time_point::max()) {
        shared_->changed.wait(lock);
      } else if (shared_->changed.wait_until(lock, deadline) == std::cv_status::timeout &&
                 Clock::now() >= deadline) {
        shared_->given_up = true;
        return false;
      }
    }
    return !shared_->given_up && shared_->result;
  }

  // Ends a Run that waits, and every later one at once.
  void GiveUp() {
    {
      std::lock_guard lock(shared_->mutex);
      shared_->given_up = true;
    }
    shared_->changed.notify_all();
  }

 private:
  struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::function<bool()> call;
    bool busy = false;
    bool result = false;
    bool given_up = false;
    bool quit = false;
  };

  static void Serve(Shared& shared) {
    std::unique_lock lock(shared.mutex);
    for (;;) {
      shared.changed.wait(lock, [&] { return shared.quit || (shared.busy && shared.call); });
      if (!shared.call) return;
      std::function<bool()> call = std::move(shared.call);
      shared.call = nullptr;
      lock.unlock();
      const bool result = call();
      call = nullptr;  // what it holds goes on this thread, outside the lock
      lock.lock();
      shared.result = result;
      shared.busy = false;
      shared.changed.notify_all();
    }
  }

  std::shared_ptr<Shared> shared_;
};

/// The connection and request handles of one request, closed by whoever aborts the
/// request first or by its end.
struct RequestHandles {
  std::mutex mutex;
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;

  HINTERNET Request() {
    std::lock_guard lock(mutex);
    return request;
  }
  void Close() {
    std::lock_guard lock(mutex);
    if (request) InternetCloseHandle(request);
    if (connection) InternetCloseHandle(connection);
    request = connection = nullptr;
  }
};

class WinInetSession;

/// One request. Its blocking calls run on its call thread; aborting it gives up on
/// them and closes its handles, so that WinInet ends them as soon as it can.
class WinInetRequest : public PortRequest {
 public:
  WinInetRequest(std::shared_ptr<WinInetSession> session, HINTERNET connection, HINTERNET request);
  ~WinInetRequest() override;

  // Sends the request with `headers` and waits for the response's headers; false when
  // that failed, the deadline passed, or the request was aborted meanwhile.
  bool Send(const std::string& headers, Clock::time_point deadline);

  size_t Read(char* buffer, size_t size) override;

  void Interrupt() override;
  HINTERNET Handle() { return handles_->Request(); }

 private:
  std::shared_ptr<WinInetSession> session_;
  std::shared_ptr<RequestHandles> handles_ = std::make_shared<RequestHandles>();
  CallThread calls_;
  std::atomic<bool> aborted_{false};
  std::optional<unsigned long long> expected_;
  unsigned long long received_ = 0;
};

/// An internet handle and the settings its requests share.
class WinInetSession : public PortSession, public std::enable_shared_from_this<WinInetSession> {
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
    return Send(target, login, std::nullopt, Deadline(target));
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
  std::mutex mutex_;  // guards what follows
  std::optional<Credentials> proxy_login_;
  bool own_authorities_ = false;
};

WinInetRequest::WinInetRequest(std::shared_ptr<WinInetSession> session, HINTERNET connection,
                               HINTERNET request)
    : session_(std::move(session)) {
  handles_->connection = connection;
  handles_->request = request;
}

WinInetRequest::~WinInetRequest() {
  session_->Unregister(this);
  calls_.GiveUp();
  handles_->Close();
}

void WinInetRequest::Interrupt() {
  aborted_ = true;
  calls_.GiveUp();
  handles_->Close();
}

bool WinInetRequest::Send(const std::string& headers, Clock::time_point deadline) {
  if (!session_->Register(this)) return false;
  auto send = [handles = handles_, wide = Wide(headers)] {
    const HINTERNET request = handles->Request();
    return request && HttpSendRequestW(request, wide.c_str(), static_cast<DWORD>(wide.size()), nullptr, 0);
  };
  if (!calls_.Run(send, deadline) || aborted_) return false;
  // Held so that an abort cannot close the handle under the queries.
  std::lock_guard lock(handles_->mutex);
  if (!handles_->request) return false;
  status_ = QueryText(handles_->request, HTTP_QUERY_STATUS_CODE).value_or("");
  content_length_ = QueryText(handles_->request, HTTP_QUERY_CONTENT_LENGTH);
  headers_.content_range = QueryText(handles_->request, HTTP_QUERY_CONTENT_RANGE);
  headers_.etag = QueryText(handles_->request, HTTP_QUERY_ETAG);
  headers_.last_modified = QueryText(handles_->request, HTTP_QUERY_LAST_MODIFIED);
  if (content_length_ && !content_length_->empty() && content_length_->size() < 20 &&
      std::all_of(content_length_->begin(), content_length_->end(),
                  [](char c) { return c >= '0' && c <= '9'; })) {
    expected_ = std::stoull(*content_length_);
  }
  return true;
}

size_t WinInetRequest::Read(char* buffer, size_t size) {
  if (size == 0 || failed_) return 0;
  struct Piece {
    std::string bytes;
    DWORD got = 0;
  };
  // The call may outlive this read when it is given up on: it fills a piece of its own.
  auto piece = std::make_shared<Piece>();
  piece->bytes.resize(std::min<size_t>(size, 1 << 20));
  // A read waits until its whole buffer is filled; asking first what has arrived makes
  // it return with what there is, as soon as there is something.
  auto read = [handles = handles_, piece] {
    const HINTERNET request = handles->Request();
    DWORD available = 0;
    if (!request || !InternetQueryDataAvailable(request, &available, 0, 0)) return false;
    if (available == 0) return true;  // the end of the body
    const DWORD wanted = std::min(available, static_cast<DWORD>(piece->bytes.size()));
    return InternetReadFile(request, piece->bytes.data(), wanted, &piece->got) != FALSE;
  };
  const auto limit = std::min(Clock::now() + session_->ReadStallLimit(), deadline_);
  if (aborted_ || !calls_.Run(read, limit) || aborted_) {
    failed_ = true;
    return 0;
  }
  received_ += piece->got;
  // WinInet ends a body cut short like a complete one; only the count tells them apart.
  if (piece->got == 0 && expected_ && received_ < *expected_) failed_ = true;
  std::memcpy(buffer, piece->bytes.data(), piece->got);
  return piece->got;
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
  for (const std::string& line : RangeHeaders(target)) headers += line + "\r\n";
  return headers;
}

std::unique_ptr<WinInetRequest> WinInetSession::Send(const HttpTarget& target,
                                                     const std::optional<Credentials>& server_login,
                                                     const std::optional<Credentials>& proxy_login,
                                                     Clock::time_point deadline) {
  if (Closed()) return nullptr;
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
  // Each send has the whole limit: the time a user takes over a login is no server's.
  auto send = [&](const RequestLogins& logins) -> std::unique_ptr<InternetRequest> {
    return Send(target, logins.server, logins.proxy, Deadline(target));
  };
  auto answer = [&](const CredentialChallenge& challenge, InternetRequest& refused) -> std::optional<Credentials> {
    if (prompt) return prompt(challenge);
    HINTERNET handle = static_cast<WinInetRequest&>(refused).Handle();
    if (!handle) return std::nullopt;
    return AskWithSystemDialog(handle, challenge.asker == CredentialAsker::Proxy);
  };
  return SendAskingForLogins(*this, target, ProxyHost(target.secure), send, answer);
}

}  // namespace

void SetCredentialDialogOwner(void* window) { dialog_owner = static_cast<HWND>(window); }

InternetHandle OpenLibrarySession(const std::string& agent, int32_t open_type,
                                  const std::string& proxy_server) {
  DWORD access = INTERNET_OPEN_TYPE_PRECONFIG;
  if (open_type == kOpenTypeDirect) access = INTERNET_OPEN_TYPE_DIRECT;
  if (open_type == kOpenTypePreconfigNoAutoProxy) access = INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY;
  if (open_type == kOpenTypeProxy) access = INTERNET_OPEN_TYPE_PROXY;
  const std::wstring wide_agent = Wide(agent);
  const std::wstring wide_proxy = Wide(proxy_server);
  HINTERNET internet = InternetOpenW(wide_agent.c_str(), access,
                                     access == INTERNET_OPEN_TYPE_PROXY ? wide_proxy.c_str() : nullptr,
                                     nullptr, 0);
  if (!internet) return nullptr;
  return std::make_shared<WinInetSession>(internet, open_type, proxy_server);
}

}  // namespace kestrova
