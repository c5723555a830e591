// The name of the backup copy that the filter writes of a configuration it replaces: the backup
// directory, then "Vardfilt-" and the UTC date and time padded with spaces. A pure function:
// safe from any thread.
#ifndef VARDOMAR_FILTER_BACKUP_NAME_H_
#define VARDOMAR_FILTER_BACKUP_NAME_H_

#include <cstddef>
#include <string_view>

#include "platform/env.h"

namespace vard {

// The size of the buffer a backup copy name is formed in, terminator included.
inline constexpr size_t kBackupNameCapacity = 260;

// Writes "<dir>/Vardfilt-%4d.%2d.%2d-%2d.%2d.%2d.cfg" of `utc` (year, month, day, hour, minute,
// second) into `buf`. A `dir` that already ends in "/" gets no second one. Returns true when the
// name was written whole; false when `dir` is empty (no copy is wanted) or the name does not fit
// `cap` bytes, so a cut name never points at some other file.
bool FormatBackupName(std::string_view dir, const CalendarTime& utc, char* buf, size_t cap);

}  // namespace vard

#endif  // VARDOMAR_FILTER_BACKUP_NAME_H_
