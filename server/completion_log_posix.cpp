#include "completion_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include <cerrno>
#include <chrono>
#include <ctime>

namespace kestrova::server {
namespace {

// Cuts at a character boundary, so that a cut value stays valid UTF-8.
std::string Bounded(const std::string& value) {
  if (value.size() <= kMaxFieldBytes) return value;
  size_t end = kMaxFieldBytes - (sizeof kCutMark - 1);
  while (end > 0 && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80) --end;
  return value.substr(0, end) + kCutMark;
}

std::string Field(const std::string& value) {
  std::string out = Bounded(value);
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

CompletionLog::CompletionLog(std::string path, std::size_t max_bytes)
    : path_(std::move(path)), max_bytes_(max_bytes) {
  Open();
}

void CompletionLog::Open() {
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  struct stat info{};
  size_ = fd_ >= 0 && ::fstat(fd_, &info) == 0 ? static_cast<std::size_t>(info.st_size) : 0;
}

// A file already empty is never rotated, so even a limit below one line keeps writing.
bool CompletionLog::RotateIfFull(std::size_t incoming) {
  if (size_ == 0 || size_ + incoming <= max_bytes_) return true;
  ::close(fd_);
  const bool moved = std::rename(path_.c_str(), (path_ + ".1").c_str()) == 0;
  Open();
  return moved && fd_ >= 0;
}

CompletionLog::~CompletionLog() {
  if (fd_ >= 0) ::close(fd_);
}

bool CompletionLog::Append(const CompletionReport& report) {
  const std::string line = FormatLogLine(UtcNow(), report);
  std::lock_guard lock(mutex_);
  if (!RotateIfFull(line.size()) || fd_ < 0) return false;
  if (!WriteAll(fd_, line)) return false;
  size_ += line.size();
  return ::fsync(fd_) == 0;
}

}  // namespace kestrova::server
