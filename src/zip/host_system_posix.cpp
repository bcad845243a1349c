#include "zip/host_system.h"

#include <ctime>

namespace kestrova {

const uint8_t kHostSystem = 3;
const bool kDriveLetters = false;

std::u16string FileNameKey(std::u16string_view name) { return std::u16string(name); }

uint32_t ToDosDateTime(int64_t unix_time) {
  const time_t t = static_cast<time_t>(unix_time);
  struct tm local;
  if (localtime_r(&t, &local) == nullptr) return PackDosDateTime({});
  return PackDosDateTime({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                          local.tm_min, local.tm_sec});
}

int64_t FromDosDateTime(uint32_t dos_date_time) {
  const LocalTimeFields fields = UnpackDosDateTime(dos_date_time);
  struct tm local {};
  local.tm_year = fields.year - 1900;
  local.tm_mon = fields.month - 1;
  local.tm_mday = fields.day;
  local.tm_hour = fields.hour;
  local.tm_min = fields.minute;
  local.tm_sec = fields.second;
  local.tm_isdst = -1;
  const time_t t = mktime(&local);
  return t == static_cast<time_t>(-1) ? 0 : static_cast<int64_t>(t);
}

}  // namespace kestrova
