// The record of upgrades that clients report as complete.
#pragma once

#include <cstddef>
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

/// The longest value kept of each field a client sends; the rest is cut off and the
/// value ends in kCutMark, so a client cannot fill the disk with one report.
inline constexpr std::size_t kMaxFieldBytes = 256;
inline constexpr char kCutMark[] = "[cut]";
inline constexpr std::size_t kDefaultMaxLogBytes = std::size_t{16} << 20;

/// An append-only log file, one line per report: UTC time, client address,
/// application, version, e-mail, separated by tabs. Each line is on disk before
/// Append returns; lines from clients reporting at the same time never mix.
/// When a line would take the file past `max_bytes`, the file becomes `path.1`
/// (replacing the one before) and a new file is begun, so the log never holds more
/// than twice `max_bytes` on disk.
class CompletionLog {
 public:
  explicit CompletionLog(std::string path, std::size_t max_bytes = kDefaultMaxLogBytes);
  ~CompletionLog();
  CompletionLog(const CompletionLog&) = delete;
  CompletionLog& operator=(const CompletionLog&) = delete;

  /// False when the log cannot be opened.
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }

  /// False when the line could not be written and synced.
  bool Append(const CompletionReport& report);

 private:
  void Open();
  bool RotateIfFull(std::size_t incoming);

  std::string path_;
  std::size_t max_bytes_;
  std::size_t size_ = 0;
  int fd_ = -1;
  std::mutex mutex_;
};

/// The text of one log line, ending in "\n". Tabs, line breaks and other control
/// characters in the client's values become blanks, so a value can never forge a
/// line or a field; each value is cut to kMaxFieldBytes.
std::string FormatLogLine(const std::string& utc_time, const CompletionReport& report);

}  // namespace kestrova::server
