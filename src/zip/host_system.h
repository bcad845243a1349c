// What the ZIP format takes from the host: the system byte of "version made by",
// how names compare, and the DOS times of the entries. The DOS fields and the clock
// are the same everywhere (host_system.cpp); local time is the platform's
// (host_system_posix.cpp, host_system_win32.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrova {

/// Host system recorded in "version made by": 3 (Unix) on POSIX, 0 (FAT) on Windows.
extern const uint8_t kHostSystem;
/// Whether names can carry a drive ("C:"), which makes ":" special in paths.
extern const bool kDriveLetters;

/// The form under which two file or entry names denote the same file: upper case
/// where the file system ignores case, the name itself where "README" and "readme"
/// are two files that must both be kept.
std::u16string FileNameKey(std::u16string_view name);

/// DOS date (high 16 bits) and time (low 16 bits) of a moment, in local time.
uint32_t ToDosDateTime(int64_t unix_time);
/// The moment a DOS date and time stand for, taken as local time.
int64_t FromDosDateTime(uint32_t dos_date_time);
int64_t CurrentUnixTime();

/// A moment's calendar fields in local time: the year in full, months and days from 1.
struct LocalTimeFields {
  int year = 1980;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};
/// The DOS date and time of those fields, in two-second steps. DOS dates cover
/// 1980-2107: a year before or after comes out as the first or last moment they hold,
/// instead of wrapping into nonsense.
uint32_t PackDosDateTime(const LocalTimeFields& local);
LocalTimeFields UnpackDosDateTime(uint32_t dos_date_time);

}  // namespace kestrova
