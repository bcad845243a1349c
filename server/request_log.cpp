#include "request_log.h"

#include <chrono>
#include <ctime>

namespace kestrova::server {
namespace {

std::string Printable(const std::string& text) {
  std::string clean = text;
  for (char& c : clean) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '"') c = ' ';
  }
  return clean;
}

}  // namespace

std::string FormatRequestLine(const std::string& utc_time, const HttpRequest& request, int status) {
  return utc_time + " " + Printable(request.client_address) + " \"" + Printable(request.method) + " " +
         Printable(request.target) + "\" " + std::to_string(status) + "\n";
}

void RequestLog::Write(const HttpRequest& request, int status) {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  const std::lock_guard<std::mutex> lock(mutex_);
  // std::gmtime shares one buffer among callers; the lock makes it this log's alone.
  char time_text[32];
  std::strftime(time_text, sizeof time_text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
  std::fputs(FormatRequestLine(time_text, request, status).c_str(), stream_);
  std::fflush(stream_);
}

}  // namespace kestrova::server
