#include "range_reply.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string_view>

#include "base/text.h"

namespace kestrova::server {
namespace {

struct Range {
  uint64_t first = 0;
  uint64_t length = 0;
};

std::optional<uint64_t> Number(std::string_view text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

// The byte range one "bytes=" header asks of a file of `size` bytes: nothing when the
// header is none the server answers in part (malformed, several ranges), a range of
// length 0 when it starts beyond the end.
std::optional<Range> AskedRange(std::string_view header, uint64_t size) {
  static constexpr std::string_view kUnit = "bytes=";
  header = TrimBlanks(header);
  if (header.substr(0, kUnit.size()) != kUnit || header.find(',') != std::string_view::npos) {
    return std::nullopt;
  }
  const std::string_view range = TrimBlanks(header.substr(kUnit.size()));
  const size_t dash = range.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const std::optional<uint64_t> first = Number(range.substr(0, dash));
  const std::optional<uint64_t> last = Number(range.substr(dash + 1));
  if (!first) {
    if (!last || *last == 0) return std::nullopt;
    const uint64_t length = std::min(*last, size);
    return Range{size - length, length};
  }
  if (!last && dash + 1 != range.size()) return std::nullopt;
  if (last && *last < *first) return std::nullopt;
  if (*first >= size) return Range{*first, 0};
  const uint64_t end = last ? std::min(*last + 1, size) : size;
  return Range{*first, end - *first};
}

// The file's identity for If-Range: its size and modification time, which a
// publisher's replacing it changes.
std::string EntityTag(uint64_t size, std::chrono::nanoseconds modified) {
  char text[48];
  std::snprintf(text, sizeof text, "\"%llx-%llx\"", static_cast<unsigned long long>(size),
                static_cast<unsigned long long>(modified.count()));
  return text;
}

// "Thu, 10 Dec 2026 13:40:00 GMT"
std::string HttpDate(std::chrono::system_clock::time_point when) {
  static constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed",
                                                       "Thu", "Fri", "Sat"};
  static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const auto day = std::chrono::floor<std::chrono::days>(when);
  const std::chrono::year_month_day date{day};
  const std::chrono::hh_mm_ss time{std::chrono::floor<std::chrono::seconds>(when - day)};
  char text[40];
  std::snprintf(text, sizeof text, "%s, %02u %s %04d %02ld:%02ld:%02ld GMT",
                kDays[std::chrono::weekday{day}.c_encoding()], static_cast<unsigned>(date.day()),
                kMonths[static_cast<unsigned>(date.month()) - 1], static_cast<int>(date.year()),
                static_cast<long>(time.hours().count()), static_cast<long>(time.minutes().count()),
                static_cast<long>(time.seconds().count()));
  return text;
}

}  // namespace

HttpReply FileReply(const HttpRequest& request, const std::filesystem::path& path) {
  std::error_code error;
  const uint64_t size = std::filesystem::file_size(path, error);
  const auto modified = std::filesystem::last_write_time(path, error);
  if (error) return HttpReply{404, "text/plain", "Not found\n", std::nullopt};
  const auto since_epoch = std::chrono::file_clock::to_sys(modified).time_since_epoch();
  const std::string etag =
      EntityTag(size, std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch));
  const std::string last_modified = HttpDate(std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::seconds>(since_epoch)));

  HttpReply reply{200, "application/octet-stream", "", path};
  reply.headers = {{"Accept-Ranges", "bytes"}, {"ETag", etag}, {"Last-Modified", last_modified}};
  const bool same_file =
      request.if_range.empty() || request.if_range == etag || request.if_range == last_modified;
  const std::optional<Range> range = same_file ? AskedRange(request.range, size) : std::nullopt;
  if (!range) return reply;
  if (range->length == 0) {
    reply = HttpReply{416, "text/plain", "The range lies beyond the file\n", std::nullopt};
    reply.headers = {{"Accept-Ranges", "bytes"},
                     {"Content-Range", "bytes */" + std::to_string(size)}};
    return reply;
  }
  reply.status = 206;
  reply.offset = range->first;
  reply.length = range->length;
  reply.headers.push_back({"Content-Range", "bytes " + std::to_string(range->first) + "-" +
                                                std::to_string(range->first + range->length - 1) +
                                                "/" + std::to_string(size)});
  return reply;
}

}  // namespace kestrova::server
