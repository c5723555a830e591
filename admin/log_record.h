// Reading one line of the filter's event log the way the log viewer filters it: fields split at
// comma and line breaks, and month/day/year dates (read with schema/expire_date.h) turned into
// day numbers that compare like the midnights they stand for. Pure functions; safe from any thread.
#ifndef VARDOMAR_ADMIN_LOG_RECORD_H_
#define VARDOMAR_ADMIN_LOG_RECORD_H_

#include <cstdint>
#include <string_view>

namespace vard {

// Every byte of this set ends a field of a log line.
inline constexpr char kLogDelimiters[] = ",\n\r";

// Splits `line` into at most `max` fields and returns how many it found. Field 0 is the text
// before the first delimiter, field k the text between the k-th delimiter and the next one (or
// the end of the line), so a line with d delimiters has d + 1 fields; an empty text still has one
// (empty) field. The views point into `line`. Stops early once `max` fields are found.
int SplitLogFields(std::string_view line, std::string_view* fields, int max);

// The number of days from 1 January 1970 to the given date. A month or day outside its usual
// range carries into the next unit the way the C library's mktime does (month 13 of 2001 is
// January 2002, day 0 is the last day of the month before), so every triple has a day number
// and later dates have larger numbers.
int64_t DayNumber(int month, int day, int year);

}  // namespace vard

#endif  // VARDOMAR_ADMIN_LOG_RECORD_H_
