// The HTTP side of the server: listening, bounding what clients may send, and
// delivering answers, without knowing what is served.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kestrova::server {

/// One request as it arrived: the target exactly as the client sent it, query
/// included, so that the protocol's unescaped values can be read as they were meant.
struct HttpRequest {
  std::string method;
  std::string target;
  std::string client_address;
  std::string range{};     // the Range header, empty when there is none
  std::string if_range{};  // the If-Range header
};

/// The answer to a request: a text, or a file streamed from disk with its length.
struct HttpReply {
  int status = 200;
  std::string media_type = "text/plain";
  std::string body;
  std::optional<std::filesystem::path> file;
  /// The part of the file sent: from `offset`, `length` bytes (all of it when none).
  uint64_t offset = 0;
  std::optional<uint64_t> length{};
  std::vector<std::pair<std::string, std::string>> headers{};  // beyond Content-Type
};

/// What one client may cost the server. A slow or hostile client can hold a
/// connection for at most `head_seconds` before its request head is complete, an
/// answer waits at most `request_seconds` for a client that stops reading, and at
/// most `connection_memory` bytes of its headers are kept. One address holds at
/// most `max_connections_per_client` connections waiting for a request (a newcomer past
/// it ends the oldest) and twice that in all on each serving thread; each serving thread
/// holds its share of `max_connections`, and once three quarters of its share are open,
/// each newcomer it takes ends a waiting connection of its own. `threads` 0
/// serves on one thread per core but one (at least one), which answers fastest.
struct HttpLimits {
  int threads = 0;
  int head_seconds = 2;
  int request_seconds = 10;
  size_t connection_memory = 32 * 1024;
  unsigned max_headers = 100;
  unsigned max_connections = 1000;
  unsigned max_connections_per_client = 64;
};

/// Serves GET and HEAD requests on one address through a handler that may be called
/// from several threads at once. Other methods get 405, a request that carries a
/// body gets 413 and one with too many headers 431, without the handler being asked.
/// Stops serving when destroyed.
class HttpService {
 public:
  using Handler = std::function<HttpReply(const HttpRequest&)>;

  HttpService(Handler handler, HttpLimits limits);
  ~HttpService();
  HttpService(const HttpService&) = delete;
  HttpService& operator=(const HttpService&) = delete;

  /// Starts listening on `address` (a numeric address or a host name) and `port`
  /// (0 picks a free one). False when that is not possible.
  bool Listen(const std::string& address, int port);
  /// The port it listens on, once listening.
  int Port() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kestrova::server
