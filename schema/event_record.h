// The event log's record, written by the filter and read by the log viewer through this one
// codec: one line per decision, "id, time, date, description, parameter1, parameter2, resource,
// site", fields separated by ", " and not quoted. Reading splits at every comma and line break,
// so a comma inside a text shifts the later fields (the format has always been so). The date
// arithmetic the viewer filters with lives here too. Pure functions; safe from any thread.
#ifndef VARDOMAR_SCHEMA_EVENT_RECORD_H_
#define VARDOMAR_SCHEMA_EVENT_RECORD_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace vard {

// The fields of a record: event id, time, date, description, two parameters, resource, site.
inline constexpr int kEventRecordFields = 8;
// The field that holds the date, month/day/year padded with spaces.
inline constexpr int kEventRecordDateField = 2;

// The record line "id, when, description, parameter1, parameter2, resource, site\n" (`when`
// holds the time and the date with ", " between them). Every CR and LF inside the texts is
// written as a space, so a visitor's text cannot forge further records; commas are kept.
std::string FormatEventRecord(int id, std::string_view when, std::string_view description,
                              std::string_view parameter1, std::string_view parameter2,
                              std::string_view resource, std::string_view site);

// Splits `line` into at most `max` fields and returns how many it found. Field 0 is the text
// before the first comma, CR or LF, field k the text between the k-th such delimiter and the next
// one (or the end of the line), so a line with d delimiters has d + 1 fields; an empty text still
// has one (empty) field. The views point into `line`; fields after the first keep the blank that
// follows the comma.
int SplitEventRecord(std::string_view line, std::string_view* fields, int max);

// The number of days from 1 January 1970 to the given date. A month or day outside its usual
// range carries into the next unit the way the C library's mktime does (month 13 of 2001 is
// January 2002, day 0 is the last day of the month before), so every triple has a day number
// and later dates have larger numbers.
int64_t DayNumber(int month, int day, int year);

// Which records the log viewer lists.
struct EventRecordFilter {
  int type = -1;          // the event id to list; negative lists every event
  bool dated = false;     // whether `first_day` limits the list
  int64_t first_day = 0;  // DayNumber of the earliest date listed

  // Whether `line` passes: its id (read as "%d") is the type, and its date, when it reads as
  // month/day/year, is not before the first day (a record without a readable date is listed:
  // the limit cannot judge it).
  bool Passes(std::string_view line) const;
};

}  // namespace vard

#endif  // VARDOMAR_SCHEMA_EVENT_RECORD_H_
