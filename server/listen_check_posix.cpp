#include "listen_check.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace kestrova::server {
namespace {

struct AddressInfoDeleter {
  void operator()(addrinfo* info) const { freeaddrinfo(info); }
};

// Closes the probe socket however the check ends.
class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::string ListenFailureReason(const std::string& address, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  if (const int failure = getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found)) {
    return gai_strerror(failure);
  }
  const std::unique_ptr<addrinfo, AddressInfoDeleter> resolved(found);
  const Socket probe(socket(resolved->ai_family, resolved->ai_socktype, resolved->ai_protocol));
  if (probe.fd() < 0) return std::strerror(errno);
  // The server itself reuses addresses, so a port held only by old connections is free.
  const int yes = 1;
  setsockopt(probe.fd(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (bind(probe.fd(), resolved->ai_addr, resolved->ai_addrlen) != 0) return std::strerror(errno);
  return "";
}

}  // namespace kestrova::server
