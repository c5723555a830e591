#include "filter/backup_name.h"

#include <cstdio>

namespace vard {

bool FormatBackupName(std::string_view dir, const CalendarTime& utc, char* buf, size_t cap) {
  if (dir.empty() || buf == nullptr || dir.size() >= cap) return false;
  const char* separator = dir.back() == '/' ? "" : "/";
  const int n = std::snprintf(buf, cap, "%.*s%sVardfilt-%4d.%2d.%2d-%2d.%2d.%2d.cfg",
                              static_cast<int>(dir.size()), dir.data(), separator, utc.year,
                              utc.month, utc.day, utc.hour, utc.minute, utc.second);
  return n > 0 && static_cast<size_t>(n) < cap;
}

}  // namespace vard
