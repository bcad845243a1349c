// The internet client library the updater talks to servers through. Everything else
// in the program reaches the network only through these classes. What every library
// does alike is in internet.cpp; each platform adds the calls of its own library
// (internet_curl.cpp, internet_wininet.cpp).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

/// Access types of an internet session, numbered as the configuration's
/// INTERNET_OPEN_TYPE.
inline constexpr int32_t kOpenTypePreconfig = 0;  // the system's proxy settings
inline constexpr int32_t kOpenTypeDirect = 1;
inline constexpr int32_t kOpenTypeProxy = 3;  // the named proxy
inline constexpr int32_t kOpenTypePreconfigNoAutoProxy = 4;

/// One HTTP response whose headers have arrived. Destroying it closes it.
class InternetRequest {
 public:
  virtual ~InternetRequest() = default;

  /// The status code as the server sent it ("200"); empty when there is none.
  virtual std::string StatusCode() const = 0;
  /// The text of the Content-Length header; nothing when the response has none.
  virtual std::optional<std::string> ContentLength() const = 0;
  /// What a download resumes by: the Content-Range, ETag and Last-Modified headers.
  virtual std::optional<std::string> ContentRange() const { return std::nullopt; }
  virtual std::optional<std::string> ETag() const { return std::nullopt; }
  virtual std::optional<std::string> LastModified() const { return std::nullopt; }

  /// Reads the next piece of the body into `buffer`. Returns the number of bytes,
  /// 0 at the end of the body and on failure; Failed tells the two apart.
  virtual size_t Read(char* buffer, size_t size) = 0;
  /// True when the body could not be read to its end: the connection broke, fewer
  /// bytes came than announced, nothing came for too long, or the session was closed.
  virtual bool Failed() const = 0;

  /// Makes every read that has not ended by `deadline` fail, however steadily the
  /// bytes trickle in.
  virtual void SetDeadline(std::chrono::steady_clock::time_point deadline) = 0;

  /// True when the server sent more body bytes than its Content-Length announced, as
  /// far as the request could see; the surplus is not delivered. Only requests sent
  /// with SendHttpRequestAsking look.
  virtual bool Overlong() const { return false; }
};

/// Where a request made piece by piece goes (connect, open request, send).
struct HttpTarget {
  std::string host;  // as given: a "host:port" text is taken as a host name
  int port = 80;
  std::string path;  // from the first "/"
  std::string user_name;
  std::string password;
  bool secure = false;  // https
  /// Above 0: only the bytes from this one on are asked for (Range), and only while
  /// the file is still the one `if_range` names (If-Range; the whole file otherwise).
  int64_t range_start = 0;
  std::string if_range{};
  /// When positive, the most the response's headers may take to arrive.
  std::chrono::milliseconds time_limit{0};
};

/// Who refused a request for want of credentials: the server (401) or a proxy (407).
enum class CredentialAsker { Server, Proxy };

/// A refusal that credentials may answer, and the host (with its port) that asks.
struct CredentialChallenge {
  CredentialAsker asker = CredentialAsker::Server;
  std::string host;
};

struct Credentials {
  std::string user_name;
  std::string password;
};

/// Answers a refusal on the sending thread: the credentials to send again with, or
/// nothing to give up, which makes the refusal the response.
using CredentialPrompt = std::function<std::optional<Credentials>(const CredentialChallenge&)>;

/// An internet session (the library's internet handle): the agent text, the access
/// type and the proxy every request made through it uses. Close may come from any
/// thread; it makes a pending open or read on the session return at once, and every
/// later one fail at once. The session stays a valid object until its last owner
/// lets go of it.
class InternetSession {
 public:
  virtual ~InternetSession() = default;

  /// Proxy user name and password for a session with a named proxy.
  virtual void SetProxyCredentials(const std::string& user_name, const std::string& password) = 0;

  /// Opens `url` (http or https) bypassing every cache and returns once the final
  /// response's headers have arrived; redirections are followed. Nothing when the
  /// open fails, the session is or gets closed, or `time_limit` (when positive)
  /// passes first.
  virtual std::unique_ptr<InternetRequest> OpenUrl(
      const std::string& url, std::chrono::milliseconds time_limit = std::chrono::milliseconds(0)) = 0;

  /// Connects to `target`, sends a GET for its path with its credentials (answering
  /// the server's or proxy's request for them) and returns once the response's
  /// headers have arrived; nothing when that fails.
  virtual std::unique_ptr<InternetRequest> SendHttpRequest(const HttpTarget& target) = 0;

  /// Like SendHttpRequest, with the credential retry of a download: the target's
  /// credentials go to the server only once it has asked for them (answered 401), and
  /// every further 401 or 407 answer is put to `prompt`, whose credentials go to
  /// whoever asked and the request is sent again. Without a prompt the refusal is the
  /// response. The request also watches for a body longer than announced (Overlong).
  virtual std::unique_ptr<InternetRequest> SendHttpRequestAsking(const HttpTarget& target,
                                                                 const CredentialPrompt& prompt) = 0;

  /// https requests trust the authorities in this PEM file instead of the system's
  /// store; empty goes back to the system's store.
  virtual void SetCertificateAuthorities(const std::string& pem_file) = 0;

  /// How long a body read waits for the next byte before it fails.
  virtual void SetReadStallLimit(std::chrono::milliseconds limit) = 0;

  /// Closes the session; any thread, any number of times.
  virtual void Close() = 0;
  virtual bool Closed() const = 0;
};

/// An internet handle: a session, or none.
using InternetHandle = std::shared_ptr<InternetSession>;

/// Whether a session of this access type goes through the named `proxy_server`;
/// only then does it count, and only then is a configured login the proxy's.
bool UsesNamedProxy(int32_t open_type, const std::string& proxy_server);

/// Opens a session. `proxy_server` counts only with kOpenTypeProxy, which needs one.
/// Nothing for an access type the library does not know.
InternetHandle OpenInternetSession(const std::string& agent, int32_t open_type,
                                   const std::string& proxy_server);

// What the ports share. Only they use what follows; the rest of the program sees the
// classes above.

/// The wire form of a URL: bytes that may not travel in one as they are (blanks,
/// controls, non-ASCII) are percent-encoded; everything else is left alone, so the
/// server sees the pieces exactly as the caller joined them.
std::string WireUrl(std::string_view url);

/// The proxy a named-proxy setting means for a request: the whole setting when it
/// names one proxy ("host", "host:port", "http://host:port"), else the entry for the
/// request's scheme of a list such as "http=host:port;https=host:port" (separated by
/// ";" or blanks, scheme names in any case). An entry without a scheme serves the
/// schemes without one of their own; https falls back to the http entry, whose proxy
/// tunnels the connection. Empty when the list has nothing for the scheme.
std::string ProxyForScheme(std::string_view setting, bool secure);

/// The header lines ("Name: value", no line end) a request for `target` adds to
/// ask for the rest of a file; none for a whole file.
std::vector<std::string> RangeHeaders(const HttpTarget& target);

/// The headers of a response a port has read, by the names the seam reports.
struct ResponseHeaders {
  std::optional<std::string> content_range;
  std::optional<std::string> etag;
  std::optional<std::string> last_modified;
  /// Takes one "Name: value" line when it is one of them; false otherwise.
  bool Take(std::string_view line);
};

/// A request of a port: the response as far as it came, and the way a Close of its
/// session ends the request at once.
class PortRequest : public InternetRequest {
 public:
  std::string StatusCode() const override { return status_; }
  std::optional<std::string> ContentLength() const override { return content_length_; }
  std::optional<std::string> ContentRange() const override { return headers_.content_range; }
  std::optional<std::string> ETag() const override { return headers_.etag; }
  std::optional<std::string> LastModified() const override { return headers_.last_modified; }
  bool Failed() const override { return failed_; }
  void SetDeadline(std::chrono::steady_clock::time_point deadline) override { deadline_ = deadline; }

  /// Ends a wait of the request now, from any thread; the request fails.
  virtual void Interrupt() = 0;

 protected:
  std::string status_;
  std::optional<std::string> content_length_;
  ResponseHeaders headers_;
  bool failed_ = false;
  std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
};

/// The bookkeeping of a port's session: the closed mark, the requests in flight that
/// Close interrupts, and the read stall limit.
class PortSession : public InternetSession {
 public:
  void SetReadStallLimit(std::chrono::milliseconds limit) override;
  std::chrono::milliseconds ReadStallLimit() const;
  void Close() override;
  bool Closed() const override;

  /// Adds a request before it starts; false once the session is closed, which
  /// refuses the request.
  bool Register(PortRequest* request);
  /// Before the request goes, so that Close never reaches a dying one.
  void Unregister(PortRequest* request);

 private:
  std::atomic<bool> closed_{false};  // set under the lock, read without it
  mutable std::mutex mutex_;  // guards what follows
  std::chrono::milliseconds read_stall_limit_ = std::chrono::seconds(60);
  std::vector<PortRequest*> active_;
};

/// The logins a download is sent with so far; none until someone asked for them.
struct RequestLogins {
  std::optional<Credentials> server;
  std::optional<Credentials> proxy;
};

/// SendHttpRequestAsking on any port. `send` makes one request with the logins so far;
/// `answer` is asked for the credentials to a refusal (the refused request at hand),
/// and `proxy_host` names the proxy in a challenge. The server gets the target's
/// credentials only once it has refused the request without them, so that they never
/// travel to a server that did not ask. Gives up once `session` is closed.
std::unique_ptr<InternetRequest> SendAskingForLogins(
    const PortSession& session, const HttpTarget& target, const std::string& proxy_host,
    const std::function<std::unique_ptr<InternetRequest>(const RequestLogins&)>& send,
    const std::function<std::optional<Credentials>(const CredentialChallenge&, InternetRequest&)>& answer);

/// The port's session for a known access type; `proxy_server` is set only for
/// kOpenTypeProxy. OpenInternetSession checks the access type first.
InternetHandle OpenLibrarySession(const std::string& agent, int32_t open_type,
                                  const std::string& proxy_server);

}  // namespace kestrova
