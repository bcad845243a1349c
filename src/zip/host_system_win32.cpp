#include "zip/host_system.h"

#include <windows.h>

namespace kestrova {
namespace {

constexpr int64_t kEpochDifference = 11644473600;  // seconds from 1601 to 1970

FILETIME FileTimeOf(int64_t unix_time) {
  const uint64_t ticks = static_cast<uint64_t>(unix_time + kEpochDifference) * 10000000u;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

int64_t UnixTimeOf(const FILETIME& time) {
  const uint64_t ticks = (uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return static_cast<int64_t>(ticks / 10000000u) - kEpochDifference;
}

}  // namespace

const uint8_t kHostSystem = 0;
const bool kDriveLetters = true;

// NTFS and FAT compare names through an upper-case table, as CharUpperBuff does.
std::u16string FileNameKey(std::u16string_view name) {
  std::wstring key(name.begin(), name.end());
  if (!key.empty()) CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
  return std::u16string(key.begin(), key.end());
}

// Local time with the daylight rule of that moment, not of today, so that an entry's
// time does not move by an hour between summer and winter.
uint32_t ToDosDateTime(int64_t unix_time) {
  if (unix_time < -kEpochDifference) return PackDosDateTime({});
  const FILETIME utc_time = FileTimeOf(unix_time);
  SYSTEMTIME utc, local;
  if (!FileTimeToSystemTime(&utc_time, &utc) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
    return PackDosDateTime({});
  }
  return PackDosDateTime({local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond});
}

int64_t FromDosDateTime(uint32_t dos_date_time) {
  const LocalTimeFields fields = UnpackDosDateTime(dos_date_time);
  SYSTEMTIME local{};
  local.wYear = static_cast<WORD>(fields.year);
  local.wMonth = static_cast<WORD>(fields.month);
  local.wDay = static_cast<WORD>(fields.day);
  local.wHour = static_cast<WORD>(fields.hour);
  local.wMinute = static_cast<WORD>(fields.minute);
  local.wSecond = static_cast<WORD>(fields.second);
  SYSTEMTIME utc;
  FILETIME utc_time;
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) ||
      !SystemTimeToFileTime(&utc, &utc_time)) {
    return 0;
  }
  return UnixTimeOf(utc_time);
}

}  // namespace kestrova
