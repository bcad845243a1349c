#include "zip/host_system.h"

#include <windows.h>

namespace kestrova {
namespace {

constexpr uint32_t kEarliestDosTime = (1u << 21) | (1u << 16);  // 1980-01-01 00:00
constexpr uint32_t kLatestDosTime = (((127u << 9) | (12u << 5) | 31u) << 16) | 0xBF7Du;
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
  if (unix_time < -kEpochDifference) return kEarliestDosTime;
  const FILETIME utc_time = FileTimeOf(unix_time);
  SYSTEMTIME utc, local;
  if (!FileTimeToSystemTime(&utc_time, &utc) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
    return kEarliestDosTime;
  }
  // DOS dates cover 1980-2107; clamp instead of wrapping into nonsense.
  if (local.wYear < 1980) return kEarliestDosTime;
  if (local.wYear > 2107) return kLatestDosTime;
  const uint32_t date = ((local.wYear - 1980u) << 9) | (uint32_t(local.wMonth) << 5) | local.wDay;
  const uint32_t time = (uint32_t(local.wHour) << 11) | (uint32_t(local.wMinute) << 5) |
                        (local.wSecond / 2u);
  return (date << 16) | time;
}

int64_t FromDosDateTime(uint32_t dos_date_time) {
  const uint32_t date = dos_date_time >> 16;
  const uint32_t time = dos_date_time & 0xFFFF;
  SYSTEMTIME local{};
  local.wYear = static_cast<WORD>(((date >> 9) & 0x7F) + 1980);
  local.wMonth = static_cast<WORD>((date >> 5) & 0x0F);
  local.wDay = static_cast<WORD>(date & 0x1F);
  local.wHour = static_cast<WORD>(time >> 11);
  local.wMinute = static_cast<WORD>((time >> 5) & 0x3F);
  local.wSecond = static_cast<WORD>((time & 0x1F) * 2);
  SYSTEMTIME utc;
  FILETIME utc_time;
  if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) ||
      !SystemTimeToFileTime(&utc, &utc_time)) {
    return 0;
  }
  return UnixTimeOf(utc_time);
}

int64_t CurrentUnixTime() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return UnixTimeOf(now);
}

}  // namespace kestrova
