// The server's access log: one line per answered request, for the publisher
// following the server on a terminal or in the system journal.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "http_service.h"

namespace kestrova::server {

/// The text of one access log line, ending in "\n": UTC time, client address,
/// method and target in quotes, status. Control characters and quotes the client
/// sent become blanks, so a request can never forge a line.
std::string FormatRequestLine(const std::string& utc_time, const HttpRequest& request, int status);

/// Writes access log lines to a stream; lines of requests answered at the same
/// time never mix.
class RequestLog {
 public:
  explicit RequestLog(std::FILE* stream) : stream_(stream) {}
  void Write(const HttpRequest& request, int status);

 private:
  std::FILE* stream_;
  std::mutex mutex_;
};

}  // namespace kestrova::server
