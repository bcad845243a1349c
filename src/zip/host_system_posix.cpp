#include "zip/host_system.h"

#include <chrono>
#include <ctime>

namespace kestrova {

const uint8_t kHostSystem = 3;
const bool kDriveLetters = false;

std::u16string FileNameKey(std::u16string_view name) { return std::u16string(name); }

uint32_t ToDosDateTime(int64_t unix_time) {
  const time_t t = static_cast<time_t>(unix_time);
  struct tm local;
  if (localtime_r(&t, &local) == nullptr) return (1u << 21) | (1u << 16);
  // DOS dates cover 1980-2107; clamp instead of wrapping into nonsense.
  if (local.tm_year < 80) return (1u << 21) | (1u << 16);
  if (local.tm_year > 207) return (((127u << 9) | (12u << 5) | 31u) << 16) | 0xBF7Du;
  const uint32_t date = ((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday;
  const uint32_t time = (local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2);
  return (date << 16) | time;
}

int64_t FromDosDateTime(uint32_t dos_date_time) {
  const uint32_t date = dos_date_time >> 16;
  const uint32_t time = dos_date_time & 0xFFFF;
  struct tm local {};
  local.tm_year = static_cast<int>((date >> 9) & 0x7F) + 80;
  local.tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
  local.tm_mday = static_cast<int>(date & 0x1F);
  local.tm_hour = static_cast<int>(time >> 11);
  local.tm_min = static_cast<int>((time >> 5) & 0x3F);
  local.tm_sec = static_cast<int>((time & 0x1F) * 2);
  local.tm_isdst = -1;
  const time_t t = mktime(&local);
  return t == static_cast<time_t>(-1) ? 0 : static_cast<int64_t>(t);
}

int64_t CurrentUnixTime() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace kestrova
