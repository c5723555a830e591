// Reading the month/day/year dates that administrators type (a user's expiredate, the log
// viewer's date limit) and that the event log writes, and the "%d" reading of a number they are
// built on, which the request fields and the log viewer share. Pure functions: safe from any
// thread.
#ifndef VARDOMAR_SCHEMA_EXPIRE_DATE_H_
#define VARDOMAR_SCHEMA_EXPIRE_DATE_H_

#include <string_view>

namespace vard {

// The latest year of an expiration date that the filter accepts: a date's local midnight must be
// a 32-bit time, and 2038 runs out of them in January.
inline constexpr int kLastSupportedYear = 2037;

// Reads a decimal integer from the front of `text` the way "%d" does: leading white space, an
// optional sign, then digits up to the first other byte. Returns 1 and advances `text` past the
// number, or 0 (text and value unchanged) when no digit follows. Numbers beyond the int range
// are clamped to it.
int ScanLeadingInt(std::string_view* text, int* value);

// Reads up to three decimal integers separated by "/" from `text`, in the order month, day,
// year. Each number is read by ScanLeadingInt; the "/" must follow the previous number directly;
// anything after the third number is ignored. Stores each number read through its pointer when
// that is not null (the others are left alone) and returns how many were read (0 to 3).
int ScanMonthDayYear(std::string_view text, int* month, int* day, int* year);
// The same over a C string; 0 for a null text.
int ScanMonthDayYear(const char* text, int* month, int* day, int* year);

// Whether `text` holds a whole date: ScanMonthDayYear read three numbers. The numbers are not
// checked against the calendar; the caller decides what month 13 or day 0 mean.
bool ReadExpireDate(const char* text, int* month, int* day, int* year);

}  // namespace vard

#endif  // VARDOMAR_SCHEMA_EXPIRE_DATE_H_
