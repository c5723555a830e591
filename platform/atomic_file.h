// AtomicFile: replaces a file as a whole or not at all. Everything is written to a temporary file
// in the target's directory; Commit() checks, flushes and syncs it and renames it over the
// target, keeping the target's permission bits (and, where allowed, its owner). Readers see either
// the old file or the new one, never a half-written one. One object per save, on one thread.
#ifndef VARDOMAR_PLATFORM_ATOMIC_FILE_H_
#define VARDOMAR_PLATFORM_ATOMIC_FILE_H_

#include <cstdio>
#include <string>
#include <string_view>

namespace vard {

// Owns its temporary file: destroying the object before a successful Commit() removes it and
// leaves the target as it was.
class AtomicFile {
 public:
  // Creates the temporary file beside `path` (following a symbolic link to its target). Check
  // IsOpen(); when it failed, errno tells why.
  explicit AtomicFile(std::string_view path);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Whether the temporary file was created; every write fails and Commit returns 0 otherwise.
  bool IsOpen() const { return file_ != nullptr; }

  // The temporary file for stdio writes; null when not open. A caller writing through it must
  // pass each result to NoteResult (or call Fail) so that Commit knows of a failed write.
  FILE* stream() const { return file_; }

  // Writes `data`; 1 on success, 0 on failure (recorded; Commit will fail).
  int Write(std::string_view data);
  // Records a failed write through stream() when `ok` is false (errno should say why).
  void NoteResult(bool ok);
  // Makes Commit fail with `error` (an errno value) although every write succeeded.
  void Fail(int error);

  // Flushes, syncs, closes and renames the temporary file over the target. 1 on success. 0 when
  // anything failed before or now: the temporary file is removed, the target is untouched, and
  // errno holds the first failure. The object is finished either way.
  int Commit();

 private:
  // Closes and removes the temporary file, if any; the target stays as it was.
  void Discard();

  std::string target_;
  std::string temp_;
  FILE* file_ = nullptr;
  int error_ = 0;  // first recorded failure (errno value), 0 when none
};

// Writes `contents` as the whole new content of `path` through AtomicFile. 1 ok, 0 failed (errno).
int WriteFileAtomically(std::string_view path, std::string_view contents);

}  // namespace vard

#endif  // VARDOMAR_PLATFORM_ATOMIC_FILE_H_
