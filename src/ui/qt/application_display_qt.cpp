// Finding out whether Qt can open a display, before Qt is asked: its xcb platform
// ends the process when the X server cannot be reached, and hangs when the server
// accepts the connection but never answers.
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <xcb/xcb.h>

#include <QDir>
#include <QLibraryInfo>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "ui/application.h"

namespace kestrova::ui {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Connects to a Unix socket; `abstract` uses Linux's abstract name space, where X
// servers listen too.
bool CanConnect(const std::string& path, bool abstract) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const size_t offset = abstract ? 1 : 0;
  if (path.empty() || path.size() + offset >= sizeof(address.sun_path)) return false;
  std::memcpy(address.sun_path + offset, path.data(), path.size());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
  close(fd);
  return ok;
}

// How long the X server may take to accept a connection and answer its setup.
constexpr auto kXServerAnswerLimit = std::chrono::seconds(3);

struct XcbDisconnect {
  void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using XcbConnection = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

// Connects to the X server the way the toolkit will. The attempt runs on a thread of
// its own, so that a server that never answers costs the limit and no more; such a
// thread is left behind, blocked, and ends with the process.
DisplayHold HoldXDisplay() {
  struct Attempt {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<XcbConnection> connection;
  };
  auto attempt = std::make_shared<Attempt>();
  std::thread([attempt, display = Env("DISPLAY")] {
    // A server that hangs up during the setup makes the write into its socket raise
    // SIGPIPE in this thread, which would end the updater; held here, it costs this
    // attempt alone. Ignoring it instead would pass the ignored signal on to the
    // application the updater starts.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    XcbConnection connection(xcb_connect(display.c_str(), nullptr));
    if (xcb_connection_has_error(connection.get())) connection.reset();
    std::lock_guard lock(attempt->mutex);
    attempt->connection = std::move(connection);
    attempt->done.notify_all();
  }).detach();
  std::unique_lock lock(attempt->mutex);
  if (!attempt->done.wait_for(lock, kXServerAnswerLimit, [&] { return attempt->connection.has_value(); })) {
    return nullptr;
  }
  if (!*attempt->connection) return nullptr;
  return std::shared_ptr<xcb_connection_t>(attempt->connection->release(), XcbDisconnect{});
}

// A local X display whose socket does not even accept a connection is known dead
// without asking the X library, which would wait for it.
bool XSocketListens() {
  const std::string display = Env("DISPLAY");
  const size_t colon = display.rfind(':');
  if (colon == std::string::npos) return false;
  const std::string host = display.substr(0, colon);
  if (!host.empty() && host != "unix") return true;  // a display over the network: the library asks
  const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return false;
  const std::string socket_path = "/tmp/.X11-unix/X" + number;
  return CanConnect(socket_path, false) || CanConnect(socket_path, true);
}

bool WaylandReachable() {
  std::string name = Env("WAYLAND_DISPLAY");
  if (name.empty()) return false;
  if (name[0] != '/') name = Env("XDG_RUNTIME_DIR") + "/" + name;
  if (!CanConnect(name, false)) return false;
  const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
  return !platforms.entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty();
}

}  // namespace

DisplayHold HoldDisplay() {
  // A forced platform (offscreen in the tests) is taken as it is.
  if (!Env("QT_QPA_PLATFORM").empty()) return std::make_shared<int>(0);
  if (XSocketListens()) {
    if (DisplayHold hold = HoldXDisplay()) return hold;
  }
  return WaylandReachable() ? std::make_shared<int>(0) : nullptr;
}

}  // namespace kestrova::ui
