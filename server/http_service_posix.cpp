// The HTTP service on GNU libmicrohttpd. Its event loop keeps any number of slow
// connections without a thread each, and it bounds the memory of each connection;
// the request deadline and the header and body rules are ours.
#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "connection_watch.h"
#include "http_service.h"

namespace kestrova::server {
namespace {

struct ResponseDeleter {
  void operator()(MHD_Response* response) const { MHD_destroy_response(response); }
};
using ResponsePtr = std::unique_ptr<MHD_Response, ResponseDeleter>;

struct DaemonDeleter {
  void operator()(MHD_Daemon* daemon) const { MHD_stop_daemon(daemon); }
};
using DaemonPtr = std::unique_ptr<MHD_Daemon, DaemonDeleter>;

struct AddressInfoDeleter {
  void operator()(addrinfo* info) const { freeaddrinfo(info); }
};

/// An open file, closed unless handed over.
class FileHandle {
 public:
  explicit FileHandle(int fd) : fd_(fd) {}
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int Get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// Most of a short answer's cost is the kernel's, on every core: one serving thread per
// core but one left to it answered 1.2 times nginx's rate on two cores, where a thread
// per core reached 0.86 times, in the same run (bench/server/compare.sh).
unsigned DefaultServingThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 1 ? cores - 1 : 1;
}

unsigned ServingThreads(const HttpLimits& limits) {
  return limits.threads > 0 ? static_cast<unsigned>(limits.threads) : DefaultServingThreads();
}

// Each serving thread's share of the connection limit.
unsigned ConnectionsPerThread(const HttpLimits& limits) {
  const unsigned threads = ServingThreads(limits);
  return (limits.max_connections + threads - 1) / threads;
}

std::string ClientAddress(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  if (!info || !info->client_addr) return "";
  char text[INET6_ADDRSTRLEN] = "";
  const sockaddr* address = info->client_addr;
  if (address->sa_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
  } else if (address->sa_family == AF_INET6) {
    const auto* ipv6 = reinterpret_cast<const sockaddr_in6*>(address);
    inet_ntop(AF_INET6, &ipv6->sin6_addr, text, sizeof text);
  }
  return text;
}

void AddHeaders(MHD_Response* response, const HttpReply& reply) {
  MHD_add_response_header(response, "Content-Type", reply.media_type.c_str());
  for (const auto& [name, value] : reply.headers) {
    MHD_add_response_header(response, name.c_str(), value.c_str());
  }
}

ResponsePtr TextResponse(const HttpReply& reply) {
  ResponsePtr response(MHD_create_response_from_buffer(
      reply.body.size(), const_cast<char*>(reply.body.data()), MHD_RESPMEM_MUST_COPY));
  if (response) AddHeaders(response.get(), reply);
  return response;
}

// The library streams the file (or the part the reply names) from its descriptor and
// announces its length; a file that shrinks meanwhile ends the connection early, so
// the client sees a short body.
ResponsePtr FileResponse(const HttpReply& reply) {
  FileHandle file(::open(reply.file->c_str(), O_RDONLY | O_CLOEXEC));
  struct stat status{};
  if (file.Get() < 0 || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
    return nullptr;
  }
  const uint64_t size = static_cast<uint64_t>(status.st_size);
  if (reply.offset > size) return nullptr;
  ResponsePtr response(MHD_create_response_from_fd_at_offset64(
      reply.length.value_or(size - reply.offset), file.Get(), reply.offset));
  if (!response) return nullptr;
  file.Release();  // the response owns it now
  AddHeaders(response.get(), reply);
  return response;
}

std::string HeaderValue(MHD_Connection* connection, const char* name) {
  const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
  return value ? value : "";
}

bool HasBody(MHD_Connection* connection) {
  const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Content-Length");
  const char* encoding =
      MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Transfer-Encoding");
  return encoding || (length && std::strspn(length, "0 \t") != std::strlen(length));
}

// Where a request stands between the library's calls: its headers were found
// acceptable, or it has its answer.
int headers_checked_marker;
int answered_marker;

/// A request turned down before it reaches the handler.
struct Refusal {
  int status;
  const char* text;
};

MHD_Result Send(MHD_Connection* connection, int status, const ResponsePtr& response) {
  if (!response) return MHD_NO;
  return MHD_queue_response(connection, static_cast<unsigned>(status), response.get());
}

MHD_Result Refuse(MHD_Connection* connection, const Refusal& refusal) {
  ResponsePtr response =
      TextResponse(HttpReply{refusal.status, "text/plain", refusal.text, std::nullopt});
  if (response && refusal.status == 405) {
    MHD_add_response_header(response.get(), "Allow", "GET, HEAD");
  }
  return Send(connection, refusal.status, response);
}

}  // namespace

class HttpService::Impl {
 public:
  Impl(Handler handler, HttpLimits limits)
      : handler_(std::move(handler)),
        limits_(limits),
        watch_(std::chrono::seconds(limits.head_seconds), ConnectionsPerThread(limits) * 3 / 4,
               limits.max_connections_per_client) {}

  bool Listen(const std::string& address, int port);
  int Port() const;
  /// Starts one daemon with its own thread and socket on the address.
  bool StartDaemon(const std::string& address, int port, unsigned per_daemon_connections);

 private:
  static void* OnTarget(void* self, const char* target, MHD_Connection* connection);
  static MHD_Result OnRequest(void* self, MHD_Connection* connection, const char* url,
                              const char* method, const char* version, const char* upload_data,
                              size_t* upload_data_size, void** request_context);
  static void OnAnswered(void* self, MHD_Connection* connection, void** request_context,
                         MHD_RequestTerminationCode code);
  static void OnConnection(void* self, MHD_Connection* connection, void** socket_context,
                           MHD_ConnectionNotificationCode code);

  std::optional<Refusal> Refuses(MHD_Connection* connection, const std::string& method) const;
  MHD_Result Answer(MHD_Connection* connection, const std::string& method);

  Handler handler_;
  HttpLimits limits_;
  // Declared before the daemon: the daemon reports its connections' ends while it
  // stops, so the watch must outlive it.
  ConnectionWatch watch_;
  std::vector<DaemonPtr> daemons_;
};

void* HttpService::Impl::OnTarget(void* self, const char* target, MHD_Connection* connection) {
  static_cast<Impl*>(self)->watch_.TargetArrived(connection, target ? target : "");
  return nullptr;
}

void HttpService::Impl::OnConnection(void* self, MHD_Connection* connection, void**,
                                     MHD_ConnectionNotificationCode code) {
  auto& watch = static_cast<Impl*>(self)->watch_;
  if (code == MHD_CONNECTION_NOTIFY_CLOSED) return watch.Closed(connection);
  const MHD_ConnectionInfo* info =
      MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
  const MHD_ConnectionInfo* server = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_DAEMON);
  if (info && server) {
    watch.Opened(connection, info->connect_fd, ClientAddress(connection), server->daemon);
  }
}

void HttpService::Impl::OnAnswered(void* self, MHD_Connection* connection, void**,
                                   MHD_RequestTerminationCode) {
  static_cast<Impl*>(self)->watch_.AnswerSent(connection);
}

MHD_Result HttpService::Impl::OnRequest(void* self, MHD_Connection* connection, const char*,
                                        const char* method, const char*, const char*,
                                        size_t* upload_data_size, void** request_context) {
  Impl& impl = *static_cast<Impl*>(self);
  if (*request_context == nullptr) {
    // The headers are in. What will not be served is refused now, before any body is
    // read; the library then ends the connection after the refusal.
    impl.watch_.RequestComplete(connection);
    if (const auto refusal = impl.Refuses(connection, method)) {
      *request_context = &answered_marker;
      return Refuse(connection, *refusal);
    }
    *request_context = &headers_checked_marker;
    return MHD_YES;
  }
  if (*upload_data_size != 0) return MHD_NO;
  if (*request_context == &answered_marker) return MHD_YES;
  // Answered on the library's second call, so that the connection stays open for the
  // client's next request.
  *request_context = &answered_marker;
  return impl.Answer(connection, method);
}

std::optional<Refusal> HttpService::Impl::Refuses(MHD_Connection* connection,
                                                  const std::string& method) const {
  if (method != "GET" && method != "HEAD") return Refusal{405, "Method not allowed\n"};
  // Nothing the server answers takes a body, so none is ever read or kept.
  if (HasBody(connection)) return Refusal{413, "A request carries no body\n"};
  const int headers = MHD_get_connection_values(connection, MHD_HEADER_KIND, nullptr, nullptr);
  if (headers < 0 || static_cast<unsigned>(headers) > limits_.max_headers) {
    return Refusal{431, "Too many header fields\n"};
  }
  return std::nullopt;
}

MHD_Result HttpService::Impl::Answer(MHD_Connection* connection, const std::string& method) {
  const HttpRequest request{method, watch_.RequestComplete(connection), ClientAddress(connection),
                            HeaderValue(connection, "Range"), HeaderValue(connection, "If-Range")};
  const HttpReply reply = handler_(request);
  if (reply.file) {
    ResponsePtr response = FileResponse(reply);
    if (response) return Send(connection, reply.status, response);
    return Refuse(connection, {404, "Not found\n"});
  }
  return Send(connection, reply.status, TextResponse(reply));
}

// One daemon per serving thread, each with a socket of its own on the same port: the
// kernel hands each new connection to one of them. Threads sharing one socket all woke
// for every connection, and served fewer the more of them there were.
bool HttpService::Impl::Listen(const std::string& address, int port) {
  const unsigned threads = ServingThreads(limits_);
  const unsigned per_daemon = ConnectionsPerThread(limits_);
  if (!StartDaemon(address, port, per_daemon)) return false;
  const int bound = Port();  // what port 0 picked, for the others
  while (daemons_.size() < threads) {
    if (!StartDaemon(address, bound, per_daemon)) {
      daemons_.clear();
      return false;
    }
  }
  return true;
}

bool HttpService::Impl::StartDaemon(const std::string& address, int port,
                                    unsigned per_daemon_connections) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (getaddrinfo(address.c_str(), service.c_str(), &hints, &found) != 0 || !found) return false;
  const std::unique_ptr<addrinfo, AddressInfoDeleter> resolved(found);

  unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_AUTO;
  if (resolved->ai_family == AF_INET6) flags |= MHD_USE_IPv6;
  DaemonPtr daemon(MHD_start_daemon(
      flags, static_cast<uint16_t>(port), nullptr, nullptr, &Impl::OnRequest, this,
      MHD_OPTION_SOCK_ADDR, resolved->ai_addr,
      MHD_OPTION_LISTENING_ADDRESS_REUSE, 1u,
      MHD_OPTION_CONNECTION_MEMORY_LIMIT, limits_.connection_memory,
      MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(limits_.request_seconds),
      MHD_OPTION_CONNECTION_LIMIT, per_daemon_connections,
      // The watch keeps an address's waiting connections to its cap; this bounds those
      // being answered, counted until their thread has closed them.
      MHD_OPTION_PER_IP_CONNECTION_LIMIT, 2 * limits_.max_connections_per_client,
      MHD_OPTION_URI_LOG_CALLBACK, &Impl::OnTarget, this,
      MHD_OPTION_NOTIFY_COMPLETED, &Impl::OnAnswered, this,
      MHD_OPTION_NOTIFY_CONNECTION, &Impl::OnConnection, this,
      MHD_OPTION_END));
  if (!daemon) return false;
  daemons_.push_back(std::move(daemon));
  return true;
}

int HttpService::Impl::Port() const {
  if (daemons_.empty()) return 0;
  const MHD_DaemonInfo* info =
      MHD_get_daemon_info(daemons_.front().get(), MHD_DAEMON_INFO_BIND_PORT);
  return info ? info->port : 0;
}

HttpService::HttpService(Handler handler, HttpLimits limits)
    : impl_(std::make_unique<Impl>(std::move(handler), limits)) {}

HttpService::~HttpService() = default;

bool HttpService::Listen(const std::string& address, int port) {
  return impl_->Listen(address, port);
}

int HttpService::Port() const { return impl_->Port(); }

}  // namespace kestrova::server
