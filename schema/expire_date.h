// Reading the month/day/year dates that administrators type (a user's expiredate, the log
// viewer's date limit) and that the event log writes. Pure functions: safe from any thread.
#ifndef VARDOMAR_SCHEMA_EXPIRE_DATE_H_
#define VARDOMAR_SCHEMA_EXPIRE_DATE_H_

namespace vard {

// Reads up to three decimal integers separated by "/" from `text`, in the order month, day,
// year. Each number may have leading white space and a sign; the "/" must follow the previous
// number directly; anything after the third number is ignored. A number too large for an int is
// clamped to the int range. Stores each number read through its pointer (the others are left
// alone) and returns how many were read (0 to 3; 0 for a null text).
int ScanMonthDayYear(const char* text, int* month, int* day, int* year);

// Whether `text` holds a whole date: ScanMonthDayYear read three numbers. The numbers are not
// checked against the calendar; the caller decides what month 13 or day 0 mean.
bool ReadExpireDate(const char* text, int* month, int* day, int* year);

}  // namespace vard

#endif  // VARDOMAR_SCHEMA_EXPIRE_DATE_H_
