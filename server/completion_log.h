// The record of upgrades that clients report as complete.
#pragma once

#include <mutex>
#include <string>

namespace kestrova::server {

/// One completion report as a client sent it.
struct CompletionReport {
  std::string client_address;
  std::string name;
  std::string version;
  std::string email;
};

/// An append-only log file, one line per report: UTC time, client address,
/// application, version, e-mail, separated by tabs. Each line is on disk before
/// Append returns; lines from clients reporting at the same time never mix.
class CompletionLog {
 public:
  explicit CompletionLog(std::string path);
  ~CompletionLog();
  CompletionLog(const CompletionLog&) = delete;
  CompletionLog& operator=(const CompletionLog&) = delete;

  /// False when the log cannot be opened.
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }

  /// False when the line could not be written and synced.
  bool Append(const CompletionReport& report);

 private:
  std::string path_;
  int fd_ = -1;
  std::mutex mutex_;
};

/// The text of one log line, ending in "\n". Tabs, line breaks and other control
/// characters in the client's values become blanks, so a value can never forge a
/// line or a field.
std::string FormatLogLine(const std::string& utc_time, const CompletionReport& report);

}  // namespace kestrova::server
