#include "zip/host_system.h"

#include <chrono>

namespace kestrova {
namespace {

constexpr uint32_t kEarliestDosTime = (1u << 21) | (1u << 16);  // 1980-01-01 00:00:00
constexpr uint32_t kLatestDosTime = (((127u << 9) | (12u << 5) | 31u) << 16) | 0xBF7Du;  // 2107-12-31 23:59:58

}  // namespace

uint32_t PackDosDateTime(const LocalTimeFields& local) {
  if (local.year < 1980) return kEarliestDosTime;
  if (local.year > 2107) return kLatestDosTime;
  const uint32_t date = (uint32_t(local.year - 1980) << 9) | (uint32_t(local.month) << 5) | uint32_t(local.day);
  const uint32_t time = (uint32_t(local.hour) << 11) | (uint32_t(local.minute) << 5) | uint32_t(local.second / 2);
  return (date << 16) | time;
}

LocalTimeFields UnpackDosDateTime(uint32_t dos_date_time) {
  const uint32_t date = dos_date_time >> 16;
  const uint32_t time = dos_date_time & 0xFFFF;
  LocalTimeFields local;
  local.year = static_cast<int>((date >> 9) & 0x7F) + 1980;
  local.month = static_cast<int>((date >> 5) & 0x0F);
  local.day = static_cast<int>(date & 0x1F);
  local.hour = static_cast<int>(time >> 11);
  local.minute = static_cast<int>((time >> 5) & 0x3F);
  local.second = static_cast<int>((time & 0x1F) * 2);
  return local;
}

int64_t CurrentUnixTime() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace kestrova
