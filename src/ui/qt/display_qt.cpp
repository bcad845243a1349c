// Finding out whether Qt can open a display, before Qt is asked: its xcb platform
// ends the process when the X server cannot be reached.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QLibraryInfo>
#include <cstdlib>
#include <cstring>
#include <string>

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

bool XDisplayReachable() {
  const std::string display = Env("DISPLAY");
  const size_t colon = display.rfind(':');
  if (colon == std::string::npos) return false;
  const std::string host = display.substr(0, colon);
  if (!host.empty() && host != "unix") return true;  // a display over the network: trust it
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

bool CanOpenDisplay() {
  if (!Env("QT_QPA_PLATFORM").empty()) return true;
  return XDisplayReachable() || WaylandReachable();
}

}  // namespace kestrova::ui
