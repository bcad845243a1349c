// Opening the internet session that the update server requests go through.
#pragma once

#include <cstdint>
#include <string>

#include "core/settings.h"
#include "net/internet.h"

namespace kestrova {

/// How the updater reaches the internet: the [server] values of its configuration.
struct InternetAccess {
  int32_t open_type = kOpenTypePreconfig;
  std::string proxy_server;
  std::string proxy_login;
  std::string proxy_password;
  int32_t connect_timeout = 5;  // seconds
};

/// The access that the [server] section of `settings` configures.
InternetAccess InternetAccessOf(const TSettings& settings);

/// The base URL of the update server built into the program. Only the warm-up request
/// through a named proxy uses it.
const std::string& DefaultServerBaseUrl();

/// Opens an internet session for `agent` (the updater's executable file name). With a
/// named proxy it also sets the proxy credentials and sends one warm-up request, so
/// that the proxy has seen them before the first real request; that request is
/// bounded by the connect time-out and its outcome does not matter. None when the
/// session cannot be opened.
InternetHandle OpenInternetHandle(const std::string& agent, const InternetAccess& access);

}  // namespace kestrova
