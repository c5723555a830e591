#include "filter/backup_name.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

namespace vard {
namespace {

const char* Separator(std::string_view dir) { return dir.back() == '/' ? "" : "/"; }

// A name in `dir` that no other writer uses at the same time: the process id and a count of this
// process's copies. Hidden, and removed once the copy has its name.
bool FormatTempName(std::string_view dir, char* buf, size_t cap) {
  static std::atomic<unsigned> count{0};
  const int n =
      std::snprintf(buf, cap, "%.*s%s.Vardfilt-%ld-%u.tmp", static_cast<int>(dir.size()),
                    dir.data(), Separator(dir), static_cast<long>(getpid()), count.fetch_add(1));
  return n > 0 && static_cast<size_t>(n) < cap;
}

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

bool SaveBackupCopy(TreeSection& root, std::string_view dir, const CalendarTime& utc, char* name,
                    size_t cap) {
  char temp[kBackupNameCapacity];
  if (!FormatBackupName(dir, utc, 1, name, cap) || !FormatTempName(dir, temp, sizeof temp)) {
    return false;
  }
  const std::string own_name = root.GetName() != nullptr ? root.GetName() : "";
  root.SetName(temp);
  const bool saved = root.SaveFile() == 1;
  root.SetName(own_name);
  if (!saved) return false;
  // A copy already under a name stays as it is, whoever wrote it: link() refuses an existing
  // name, so the first free one is taken without a window in which another writer could take it.
  bool linked = false;
  for (int copy = 1; copy <= kMaxBackupCopiesPerSecond; ++copy) {
    if (copy > 1 && !FormatBackupName(dir, utc, copy, name, cap)) break;
    if (link(temp, name) == 0) {
      linked = true;
      break;
    }
    if (errno != EEXIST) break;
  }
  unlink(temp);
  return linked;
}

}  // namespace vard
