#include "connection_watch.h"

namespace kestrova::server {

ConnectionWatch::ConnectionWatch(std::chrono::milliseconds limit)
    : limit_(limit), watcher_([this] { Watch(); }) {}

ConnectionWatch::~ConnectionWatch() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  watcher_.join();
}

void ConnectionWatch::Opened(const void* connection, int socket) {
  std::lock_guard lock(mutex_);
  entries_[connection] = Entry{socket, true, std::chrono::steady_clock::now(), ""};
}

void ConnectionWatch::TargetArrived(const void* connection, const std::string& target) {
  std::lock_guard lock(mutex_);
  if (auto it = entries_.find(connection); it != entries_.end()) it->second.target = target;
}

std::string ConnectionWatch::RequestComplete(const void* connection) {
  std::lock_guard lock(mutex_);
  const auto it = entries_.find(connection);
  if (it == entries_.end()) return "";
  it->second.awaiting = false;
  return it->second.target;
}

void ConnectionWatch::AnswerSent(const void* connection) {
  std::lock_guard lock(mutex_);
  // Only a known connection is re-armed: a late notice about a connection already
  // closed must not bring back a socket number that may belong to another by now.
  if (auto it = entries_.find(connection); it != entries_.end()) {
    it->second.awaiting = true;
    it->second.since = std::chrono::steady_clock::now();
    it->second.target.clear();
  }
}

void ConnectionWatch::Closed(const void* connection) {
  std::lock_guard lock(mutex_);
  entries_.erase(connection);
}

void ConnectionWatch::Watch() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    wake_.wait_for(lock, std::chrono::milliseconds(200));
    EndOverdue(std::chrono::steady_clock::now());
  }
}

void ConnectionWatch::EndOverdue(std::chrono::steady_clock::time_point now) {
  // Runs under the lock, so no entry can be closed (and its socket number reused)
  // while its socket is shut down.
  for (auto& [connection, entry] : entries_) {
    if (entry.awaiting && now - entry.since > limit_) {
      entry.awaiting = false;
      ShutDownSocket(entry.socket);
    }
  }
}

}  // namespace kestrova::server
