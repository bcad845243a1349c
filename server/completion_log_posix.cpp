#include "completion_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>

namespace kestrova::server {
namespace {

std::string Field(const std::string& value) {
  std::string out = value;
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return out;
}

std::string UtcNow() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string FormatLogLine(const std::string& utc_time, const CompletionReport& report) {
  return utc_time + "\t" + Field(report.client_address) + "\t" + Field(report.name) + "\t" +
         Field(report.version) + "\t" + Field(report.email) + "\n";
}

CompletionLog::CompletionLog(std::string path) : path_(std::move(path)) {
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

CompletionLog::~CompletionLog() {
  if (fd_ >= 0) ::close(fd_);
}

bool CompletionLog::Append(const CompletionReport& report) {
  if (fd_ < 0) return false;
  const std::string line = FormatLogLine(UtcNow(), report);
  std::lock_guard lock(mutex_);
  return WriteAll(fd_, line) && ::fsync(fd_) == 0;
}

}  // namespace kestrova::server
