#include "filter/backup_name.h"

#include <cerrno>
#include <cstdio>

#include "platform/atomic_file.h"
#include "tree/text_tree_stream.h"

namespace vard {
namespace {

const char* Separator(std::string_view dir) { return dir.back() == '/' ? "" : "/"; }

}  // namespace

bool FormatBackupName(std::string_view dir, const CalendarTime& utc, int copy, char* buf,
                      size_t cap) {
  if (dir.empty() || buf == nullptr || dir.size() >= cap || copy < 1 ||
      copy > kMaxBackupCopiesPerSecond) {
    return false;
  }
  char number[12] = "";  // "-" and any int
  if (copy > 1) std::snprintf(number, sizeof number, "-%d", copy);
  const int n = std::snprintf(buf, cap, "%.*s%sVardfilt-%4d.%2d.%2d-%2d.%2d.%2d%s.cfg",
                              static_cast<int>(dir.size()), dir.data(), Separator(dir), utc.year,
                              utc.month, utc.day, utc.hour, utc.minute, utc.second, number);
  return n > 0 && static_cast<size_t>(n) < cap;
}

bool SaveBackupCopy(const TreeSection& root, std::string_view dir, const CalendarTime& utc,
                    char* name, size_t cap) {
  if (!FormatBackupName(dir, utc, 1, name, cap)) return false;
  // Copies of writers killed in the middle (only where the file system has no unnamed files).
  RemoveAbandonedNewFiles(dir);
  AtomicFile copy(AtomicFile::NewFileIn{dir});
  {
    TextTreeStream stream(copy);
    if (!stream.IsOpen()) return false;
    root.Save(stream);
  }
  // A copy already under a name stays as it is, whoever wrote it: Publish refuses an existing
  // name, so the first free one is taken without a window in which another writer could take it.
  for (int copy_number = 1; copy_number <= kMaxBackupCopiesPerSecond; ++copy_number) {
    if (copy_number > 1 && !FormatBackupName(dir, utc, copy_number, name, cap)) return false;
    if (copy.Publish(name) == 1) return true;
    if (errno != EEXIST) return false;
  }
  return false;
}

}  // namespace vard
