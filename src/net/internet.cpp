#include "net/internet.h"

#include <algorithm>

#include "base/text.h"

namespace kestrova {
namespace {

bool MustBeEncoded(unsigned char c) {
  return c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
         c == '`' || c == '{' || c == '|' || c == '}';
}

// The entries of a proxy list, split at ";" and blanks; empty ones dropped.
std::vector<std::string_view> ProxyListEntries(std::string_view setting) {
  std::vector<std::string_view> entries;
  size_t start = 0;
  while (start <= setting.size()) {
    size_t end = setting.find_first_of(" ;", start);
    if (end == std::string_view::npos) end = setting.size();
    if (end > start) entries.push_back(setting.substr(start, end - start));
    start = end + 1;
  }
  return entries;
}

// The value of the list's entry for `scheme` ("" for the entry without one).
std::optional<std::string_view> ProxyListEntry(const std::vector<std::string_view>& entries,
                                               std::string_view scheme) {
  for (std::string_view entry : entries) {
    const size_t equals = entry.find('=');
    const std::string_view name = equals == std::string_view::npos ? "" : entry.substr(0, equals);
    if (EqualsIgnoreCase(name, scheme)) {
      return equals == std::string_view::npos ? entry : entry.substr(equals + 1);
    }
  }
  return std::nullopt;
}

}  // namespace

bool UsesNamedProxy(int32_t open_type, const std::string& proxy_server) {
  return open_type == kOpenTypeProxy && !proxy_server.empty();
}

InternetHandle OpenInternetSession(const std::string& agent, int32_t open_type,
                                   const std::string& proxy_server) {
  switch (open_type) {
    case kOpenTypePreconfig:
    case kOpenTypeDirect:
    case kOpenTypePreconfigNoAutoProxy:
      return OpenLibrarySession(agent, open_type, "");
    case kOpenTypeProxy:
      if (proxy_server.empty()) return nullptr;  // a named proxy needs a name
      return OpenLibrarySession(agent, open_type, proxy_server);
    default:
      return nullptr;
  }
}

std::string WireUrl(std::string_view url) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(url.size());
  for (unsigned char c : url) {
    if (MustBeEncoded(c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string ProxyForScheme(std::string_view setting, bool secure) {
  if (setting.find('=') == std::string_view::npos) return std::string(TrimBlanks(setting));
  const std::vector<std::string_view> entries = ProxyListEntries(setting);
  for (std::string_view scheme : {secure ? "https" : "http", "", "http"}) {
    if (auto proxy = ProxyListEntry(entries, scheme)) return std::string(*proxy);
  }
  return "";
}

std::vector<std::string> RangeHeaders(const HttpTarget& target) {
  if (target.range_start <= 0) return {};
  std::vector<std::string> lines{"Range: bytes=" + std::to_string(target.range_start) + "-"};
  if (!target.if_range.empty()) lines.push_back("If-Range: " + target.if_range);
  return lines;
}

bool ResponseHeaders::Take(std::string_view line) {
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  const std::string_view name = TrimBlanks(line.substr(0, colon));
  std::optional<std::string>* field = EqualsIgnoreCase(name, "content-range")   ? &content_range
                                      : EqualsIgnoreCase(name, "etag")          ? &etag
                                      : EqualsIgnoreCase(name, "last-modified") ? &last_modified
                                                                                : nullptr;
  if (!field) return false;
  *field = std::string(TrimBlanks(line.substr(colon + 1)));
  return true;
}

std::unique_ptr<InternetRequest> SendAskingForLogins(
    const PortSession& session, const HttpTarget& target, const std::string& proxy_host,
    const std::function<std::unique_ptr<InternetRequest>(const RequestLogins&)>& send,
    const std::function<std::optional<Credentials>(const CredentialChallenge&, InternetRequest&)>& answer) {
  RequestLogins logins;
  const bool has_given = !target.user_name.empty() || !target.password.empty();
  for (;;) {
    auto request = send(logins);
    if (!request) return nullptr;
    const std::string status = request->StatusCode();
    if (status != "401" && status != "407") return request;
    if (status == "401" && has_given && !logins.server) {
      logins.server = Credentials{target.user_name, target.password};
      continue;
    }
    const CredentialChallenge challenge =
        status == "401" ? CredentialChallenge{CredentialAsker::Server, target.host + ":" + std::to_string(target.port)}
                        : CredentialChallenge{CredentialAsker::Proxy, proxy_host};
    std::optional<Credentials> given = answer(challenge, *request);
    if (!given || session.Closed()) return request;
    (challenge.asker == CredentialAsker::Server ? logins.server : logins.proxy) = std::move(given);
  }
}

void PortSession::SetReadStallLimit(std::chrono::milliseconds limit) {
  std::lock_guard lock(mutex_);
  read_stall_limit_ = limit;
}

std::chrono::milliseconds PortSession::ReadStallLimit() const {
  std::lock_guard lock(mutex_);
  return read_stall_limit_;
}

void PortSession::Close() {
  // Under the lock no request can go away: each unregisters before it goes.
  std::lock_guard lock(mutex_);
  closed_ = true;
  for (PortRequest* request : active_) request->Interrupt();
}

bool PortSession::Closed() const { return closed_; }

bool PortSession::Register(PortRequest* request) {
  std::lock_guard lock(mutex_);
  if (closed_) return false;
  active_.push_back(request);
  return true;
}

void PortSession::Unregister(PortRequest* request) {
  std::lock_guard lock(mutex_);
  active_.erase(std::remove(active_.begin(), active_.end(), request), active_.end());
}

}  // namespace kestrova
