#include "connection_watch.h"

#include <algorithm>

namespace kestrova::server {

ConnectionWatch::ConnectionWatch(std::chrono::milliseconds limit, size_t room, size_t per_address)
    : limit_(limit), room_(room), per_address_(per_address), watcher_([this] { Watch(); }) {}

ConnectionWatch::~ConnectionWatch() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  watcher_.join();
}

void ConnectionWatch::Opened(const void* connection, int socket, const std::string& address,
                             const void* server) {
  std::lock_guard lock(mutex_);
  entries_[connection] =
      Entry{socket, true, false, false, std::chrono::steady_clock::now(), "", address, server};
  MakeRoomForAddress(connection);
  MakeRoom(connection);
}

void ConnectionWatch::End(Entry& entry) {
  entry.ending = true;
  ShutDownSocket(entry.socket);
}

void ConnectionWatch::MakeRoomForAddress(const void* newcomer) {
  const std::string& address = entries_.at(newcomer).address;
  size_t waiting = 0;
  Entry* victim = nullptr;
  for (auto& [connection, entry] : entries_) {
    if (entry.ending || !entry.awaiting || entry.address != address) continue;
    ++waiting;
    if (connection != newcomer && (!victim || GoesBefore(entry, *victim))) victim = &entry;
  }
  if (waiting > per_address_ && victim) End(*victim);
}

// Idle before unfinished, and the longer waiting first: a client that has just
// connected is the last to go.
bool ConnectionWatch::GoesBefore(const Entry& a, const Entry& b) {
  if (a.idle != b.idle) return a.idle;
  return a.since < b.since;
}

void ConnectionWatch::MakeRoom(const void* newcomer) {
  const void* server = entries_.at(newcomer).server;
  const auto live = std::count_if(entries_.begin(), entries_.end(), [server](const auto& item) {
    return !item.second.ending && item.second.server == server;
  });
  if (static_cast<size_t>(live) <= room_) return;
  Entry* victim = nullptr;
  for (auto& [connection, entry] : entries_) {
    if (connection == newcomer || entry.ending || !entry.awaiting || entry.server != server) continue;
    if (!victim || GoesBefore(entry, *victim)) victim = &entry;
  }
  if (victim) End(*victim);
}

void ConnectionWatch::TargetArrived(const void* connection, const std::string& target) {
  std::lock_guard lock(mutex_);
  if (auto it = entries_.find(connection); it != entries_.end()) {
    it->second.target = target;
    it->second.idle = false;
  }
}

std::string ConnectionWatch::RequestComplete(const void* connection) {
  std::lock_guard lock(mutex_);
  const auto it = entries_.find(connection);
  if (it == entries_.end()) return "";
  it->second.awaiting = false;
  it->second.idle = false;
  return it->second.target;
}

void ConnectionWatch::AnswerSent(const void* connection) {
  std::lock_guard lock(mutex_);
  // Only a known connection is re-armed: a late notice about a connection already
  // closed must not bring back a socket number that may belong to another by now.
  if (auto it = entries_.find(connection); it != entries_.end()) {
    it->second.awaiting = true;
    it->second.idle = true;
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
    if (entry.awaiting && !entry.ending && now - entry.since > limit_) End(entry);
  }
}

}  // namespace kestrova::server
