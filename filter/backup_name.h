// The backup copy that the filter writes of a configuration it replaces: its text, kept without a
// name in the backup directory while the configuration is in force (BackupText), its name (the
// backup directory, then "Vardfilt-" and the UTC date and time padded with spaces, and a number
// when that second already has a copy) and the writing of a private copy that never replaces an
// existing file. Safe from any thread (a BackupText from one at a time); two writers, in this
// process or another, never take the same name.
#ifndef VARDOMAR_FILTER_BACKUP_NAME_H_
#define VARDOMAR_FILTER_BACKUP_NAME_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/atomic_file.h"
#include "platform/env.h"
#include "tree/tree_node.h"

namespace vard {

// The size of the buffer a backup copy name is formed in, terminator included.
inline constexpr size_t kBackupNameCapacity = 260;

// How many copies one second of reloads can keep: the first under the plain name, the others
// numbered from 2.
inline constexpr int kMaxBackupCopiesPerSecond = 999;

// Writes the name of the `copy`th copy made in the second `utc` (year, month, day, hour, minute,
// second) into `buf`: "<dir>/Vardfilt-%4d.%2d.%2d-%2d.%2d.%2d.cfg" for copy 1, and for copy n
// from 2 the same with "-n" before ".cfg". A `dir` that already ends in "/" gets no second one.
// Returns true when the name was written whole; false when `dir` is empty (no copy is wanted),
// `copy` is outside 1..kMaxBackupCopiesPerSecond, or the name does not fit `cap` bytes, so a cut
// name never points at some other file.
bool FormatBackupName(std::string_view dir, const CalendarTime& utc, int copy, char* buf,
                      size_t cap);

// The text of a configuration in the text format, as its backup copy will hold it, in a private
// file that no name leads to (OpenPrivateFileWithoutName): the configuration in force needs
// neither its tree nor memory for its text to be copied when it is replaced. Owns the file.
class BackupText {
 public:
  // Saves the tree that `file_text`, a configuration file's text, loads as into a new such file
  // in `dir`, freeing the text once the tree is loaded. Null when `dir` is empty or the file could
  // not be made or written; no file is left behind.
  static std::unique_ptr<BackupText> Save(std::string file_text, std::string_view dir);
  ~BackupText();
  BackupText(const BackupText&) = delete;
  BackupText& operator=(const BackupText&) = delete;

  // Copies the whole text into `out` (through Env). false with errno when a read failed.
  bool CopyTo(AtomicFile& out) const;

 private:
  explicit BackupText(int fd) : fd_(fd) {}
  const int fd_;
};

// Writes `text` as a new backup copy in `dir` under the first name of the second `utc` that no
// file has yet. The copy is a private file (owner only) written whole before it gets its name,
// which never replaces or follows anything already there (another writer's copy, a planted
// link). Returns true when the copy was made, with its path in `name` (`cap` bytes); false when
// `dir` is empty, a name does not fit, the second has all its copies, or the file system refused
// (a missing directory, no rights), leaving no file behind.
bool SaveBackupCopy(const BackupText& text, std::string_view dir, const CalendarTime& utc,
                    char* name, size_t cap);

}  // namespace vard

#endif  // VARDOMAR_FILTER_BACKUP_NAME_H_
