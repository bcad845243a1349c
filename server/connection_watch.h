// Bookkeeping of the server's open connections, and the deadline that keeps slow
// clients from holding them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace kestrova::server {

/// Tracks each open connection (by an identity the HTTP library gives it) with its
/// socket and the target of the request it is receiving, and ends every connection
/// whose client has not completed a request head within the time limit: a client
/// that trickles its headers in, or idles between requests, loses its connection.
/// The clock stops while an answer is sent, so long downloads are not cut. Once more
/// than `room` connections of one serving thread are open, each new one there ends a
/// waiting one of that thread (each holds its own share of the connection limit, and
/// the kernel picks the thread), so that a pool full of stalled clients still lets a
/// new client in: first the idle ones
/// (answered, and nothing of a next request sent), then those that have not sent a
/// whole request head, oldest first; never one being answered. In the same way one
/// client address keeps at most `per_address` connections waiting for a request, each
/// newcomer past that ending one of the address's own. Answers under way do not count:
/// under load a connection whose answer went out lingers a moment before it closes, and
/// counting those turned away clients that never went past the cap.
/// All calls are safe from any thread.
class ConnectionWatch {
 public:
  ConnectionWatch(std::chrono::milliseconds limit, size_t room, size_t per_address);
  ~ConnectionWatch();
  ConnectionWatch(const ConnectionWatch&) = delete;
  ConnectionWatch& operator=(const ConnectionWatch&) = delete;

  /// A connection was accepted by the serving thread `server`; its first request is
  /// awaited from now on.
  void Opened(const void* connection, int socket, const std::string& address,
              const void* server);
  /// The request line arrived with `target`, before the headers.
  void TargetArrived(const void* connection, const std::string& target);
  /// The whole request is in: the clock stops. Returns the target it named.
  std::string RequestComplete(const void* connection);
  /// The answer went out: the next request on this connection is awaited from now.
  void AnswerSent(const void* connection);
  /// The connection is gone; must be called before its socket is closed.
  void Closed(const void* connection);

 private:
  struct Entry {
    int socket = -1;
    bool awaiting = true;
    bool ending = false;
    bool idle = false;
    std::chrono::steady_clock::time_point since;
    std::string target;
    std::string address;
    const void* server = nullptr;
  };

  void Watch();
  void EndOverdue(std::chrono::steady_clock::time_point now);
  void MakeRoom(const void* newcomer);
  void MakeRoomForAddress(const void* newcomer);
  void End(Entry& entry);
  static bool GoesBefore(const Entry& a, const Entry& b);

  const std::chrono::milliseconds limit_;
  const size_t room_;
  const size_t per_address_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::map<const void*, Entry> entries_;
  std::thread watcher_;
};

/// Ends the traffic on a socket without closing it, so that its owner notices and
/// closes it in its own time.
void ShutDownSocket(int socket);

}  // namespace kestrova::server
