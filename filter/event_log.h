// The event log: the time of a record and its append, whole, to the log file (the record itself
// is schema/event_record.h's, which the log viewer reads back). Pure formatting plus one
// append; safe from many threads, and records of concurrent writers never interleave.
#ifndef VARDOMAR_FILTER_EVENT_LOG_H_
#define VARDOMAR_FILTER_EVENT_LOG_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/env.h"

namespace vard {

// The size of the buffer the time and date of a record are formed in, terminator included.
inline constexpr size_t kRecordTimeCapacity = 260;

// Writes the local time of day of `now` without seconds (the locale's format), ", " and the
// local date as "%2hu/%2hu/%4hu" (month, day, year) into `buf`, e.g. "14:05,  3/ 7/2001".
// Returns the length written; the text is cut to fit `cap` and always terminated when cap > 0.
size_t FormatRecordTime(Env& env, int64_t now, char* buf, size_t cap);

// The permission bits a new log file gets (less the umask).
inline constexpr unsigned kEventLogMode = 0640;

// Appends `record` to the file at `path` (created with kEventLogMode when missing)
// with one write on a descriptor opened for appending, then closes it. Returns true when the
// whole record was written; false for an empty path or any failure, which leaves nothing to undo.
bool AppendRecord(const char* path, std::string_view record);

}  // namespace vard

#endif  // VARDOMAR_FILTER_EVENT_LOG_H_
