// AtomicFile: writes a file as a whole or not at all, never readable by more users than it should
// be. Everything is written to a private temporary file in the target's directory: an unnamed one
// (O_TMPFILE) where the file system offers it, else one created exclusively under an
// unpredictable hidden name without following symbolic links. Its permission bits (and, where
// allowed, owner) are set before the first byte is written. Commit() then replaces the target
// (rename), Publish() gives the file a name that nothing holds yet (link). Readers see either the
// old file or the new one, never a half-written one. One object per save, on one thread.
#ifndef VARDOMAR_PLATFORM_ATOMIC_FILE_H_
#define VARDOMAR_PLATFORM_ATOMIC_FILE_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace vard {

class Env;

// The permission bits of a new file that holds passwords: its owner's alone.
inline constexpr mode_t kPrivateFileMode = 0600;

// Owns its temporary file: destroying the object before a successful Commit() or Publish()
// removes it and leaves every name as it was.
class AtomicFile {
 public:
  // Where Publish will name a new file: the directory `dir` ("" for the working directory).
  struct NewFileIn {
    std::string_view dir;
  };

  // Prepares the replacement of `path` (a symbolic link there is followed, so that the link
  // itself survives). The file gets the target's permission bits and owner when the target
  // exists, else `new_file_mode`. Check IsOpen(); when it failed, errno tells why.
  explicit AtomicFile(std::string_view path, mode_t new_file_mode = kPrivateFileMode);
  // Prepares a new private file (kPrivateFileMode) that Publish names in `where.dir`; Commit
  // fails for it.
  explicit AtomicFile(NewFileIn where);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Whether the temporary file was created; every write fails and Commit returns 0 otherwise.
  bool IsOpen() const { return file_ != nullptr; }

  // The temporary file for stdio writes; null when not open. A caller writing through it must
  // pass each result to NoteResult (or call Fail) so that Commit knows of a failed write.
  FILE* stream() const { return file_; }
  // The temporary file's descriptor, -1 when not open: for examining the file (fstat), never for
  // writing, since bytes written past the stream would be out of order with its buffer.
  int descriptor() const { return sink_.fd; }

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

  // Flushes and syncs the file and gives it the name `path`, which must not exist: a file, link
  // or anything else already there is never replaced or followed. 1 on success (the object is
  // finished). 0 with errno EEXIST when the name is taken: the file stays for another name. 0
  // with another errno for any other failure, which removes the file and finishes the object.
  int Publish(std::string_view path);

  // Where the stream's bytes go: the temporary file's descriptor, through the Env of the save.
  struct Sink {
    Env* env = nullptr;
    int fd = -1;
  };

 private:
  // Creates the temporary file in dir_ with `mode`, and the owner of `owner` when not null.
  void Create(mode_t mode, const struct stat* owner);
  // Flushes and syncs once; false (error_ set) when that or an earlier write failed.
  bool Flush();
  // Gives the unnamed file the name `path`; 0 with errno on failure.
  int LinkUnnamed(const std::string& path) const;
  // Closes the stream (and so the descriptor); false (error_ set) when the close failed.
  bool Close();
  // Closes and removes the temporary file, if any; the target stays as it was.
  void Discard();

  std::string dir_;       // the directory of the files, with its trailing "/" ("" for ".")
  std::string target_;    // Commit's target; empty for a new file
  std::string temp_;      // the temporary file's name; empty while it has none (unnamed)
  Sink sink_;             // the Env of this save, and the descriptor while open
  FILE* file_ = nullptr;  // a stream over sink_
  bool flushed_ = false;
  int error_ = 0;  // first recorded failure (errno value), 0 when none
};

// Writes `contents` as the whole new content of `path` through AtomicFile. 1 ok, 0 failed (errno).
int WriteFileAtomically(std::string_view path, std::string_view contents,
                        mode_t new_file_mode = kPrivateFileMode);

// Removes the temporary files that replacements of `path` left in its directory when their
// writers died before finishing (a killed process, a lost machine), keeping those of writers
// that still run on this machine. Callers hold the lock that serialises the writers of `path`,
// so that no writer on another machine sharing the directory is at work. Failures are ignored:
// a file that stays is removed by a later call.
void RemoveAbandonedTemporaries(std::string_view path);
// The same for the temporary files of new files (AtomicFile::NewFileIn) in `dir`, which their
// writers make without a common lock: only those not written for ten minutes are removed.
void RemoveAbandonedNewFiles(std::string_view dir);

// Opens a new private file (kPrivateFileMode) for reading and writing in `dir` ("" for the
// working directory), closed on exec, that no name leads to: an unnamed one where the file system offers it, else
// one created as AtomicFile creates its temporary files and unlinked at once. The descriptor,
// which the caller closes through Env; -1 with errno when the file could not be made (nothing is
// left behind).
int OpenPrivateFileWithoutName(std::string_view dir);

// For tests: false makes every AtomicFile use named temporary files, as on a file system without
// unnamed ones (OpenPrivateFileWithoutName too); true (the default) lets it try unnamed ones first.
// Not for concurrent use.
void UseUnnamedTemporaryFiles(bool use);

}  // namespace vard

#endif  // VARDOMAR_PLATFORM_ATOMIC_FILE_H_
