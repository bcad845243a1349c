// Why the server cannot listen where it was asked to, in the system's words.
#pragma once

#include <string>

namespace kestrova::server {

/// The reason binding a TCP socket to `address` and `port` fails ("Address already
/// in use", "Cannot assign requested address", a name that does not resolve), or
/// an empty text when it would succeed now.
std::string ListenFailureReason(const std::string& address, int port);

}  // namespace kestrova::server
