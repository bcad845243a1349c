#include "net/internet_handle.h"

#include <algorithm>
#include <chrono>

namespace kestrova {

#ifndef KESTROVA_DEFAULT_SERVER
#define KESTROVA_DEFAULT_SERVER "http://localhost"
#endif

const std::string& DefaultServerBaseUrl() {
  static const std::string url = KESTROVA_DEFAULT_SERVER;
  return url;
}

InternetAccess InternetAccessOf(const TSettings& settings) {
  return {settings.INTERNET_OPEN_TYPE, settings.PROXY_SERVER, settings.PROXY_LOGIN,
          settings.PROXY_PASSWORD, settings.internet_option_connect_timeout};
}

InternetHandle OpenInternetHandle(const std::string& agent, const InternetAccess& access) {
  if (!UsesNamedProxy(access.open_type, access.proxy_server)) {
    return OpenInternetSession(agent, access.open_type, "");
  }
  InternetHandle internet = OpenInternetSession(agent, kOpenTypeProxy, access.proxy_server);
  if (!internet) return nullptr;
  internet->SetProxyCredentials(access.proxy_login, access.proxy_password);
  // The warm-up runs on the GUI thread before any watchdog exists: a proxy that never
  // answers must not hold the start of the application up for longer than a fetch.
  const auto limit = std::chrono::seconds(std::max<int32_t>(1, access.connect_timeout));
  internet->OpenUrl(DefaultServerBaseUrl(), limit);
  return internet;
}

}  // namespace kestrova
