// The system's one door to the operating system: files, directories, locks, links, sync, the
// clock, the calendar and sleeping all go through one process-wide Env, so tests can install a
// fake or make any call fail (FaultEnv). All operations are safe to call from many threads at
// once; installing a replacement with SetForTesting is atomic but must not race with an Env being
// destroyed.
#ifndef VARDOMAR_PLATFORM_ENV_H_
#define VARDOMAR_PLATFORM_ENV_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vard {

// A broken-down calendar time. Months and days count from 1; weekday 0 is Sunday.
struct CalendarTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int weekday = 0;
};

// What tells one version of a file from the next: its last-write time and the identity of the
// file a path names (device, inode number) with its size. A save that renames a new file over the
// old one changes the identity even when both saves fall within one tick of the file-time clock.
// The status-change time tells a file whose rights changed (unreadable, then readable again).
struct FileVersion {
  int64_t write_time_ns = 0;  // last write, nanoseconds since 1970
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t change_time_ns = 0;  // last change of content or status, nanoseconds since 1970

  bool operator==(const FileVersion&) const = default;
};

// The kinds of file-system call, each of which a test can make fail (FaultEnv).
enum class FileCall {
  kOpen,    // opening an existing file or directory
  kCreate,  // opening with O_CREAT or O_TMPFILE
  kRead,
  kWrite,
  kSync,  // fsync of a file
  kClose,
  kChmod,
  kChown,
  kRename,
  kLink,
  kUnlink,
  kLock,  // flock
  kStat,
  kSyncDirectory,
  kCount  // not a call: the number of kinds
};

// The operating system seen by the rest of the system. The base class is the real system; a test
// derives from it, overrides what it wants to fake and installs the object with SetForTesting.
// Nobody owns the default instance (it lives for the whole process); an installed test Env stays
// owned by the test, which must uninstall it before destroying it.
class Env {
 public:
  Env() = default;
  Env(const Env&) = delete;
  Env& operator=(const Env&) = delete;
  virtual ~Env();

  // The Env in use: the real system unless a test installed another. Never null.
  static Env* Default();

  // Installs `env` as the Env returned by Default(); null reinstalls the real system. Returns the
  // Env that was installed before so a test can restore it.
  static Env* SetForTesting(Env* env);

  // Current time in whole seconds since 1970-01-01 00:00:00 UTC.
  virtual int64_t NowSeconds();

  // Milliseconds on a clock that never goes back (not even when the system's time is set), from
  // an arbitrary start: for intervals, never for dates.
  virtual int64_t NowMonotonicMs();

  // Breaks `seconds` (since 1970, UTC) down as UTC. true on success; false when the time cannot
  // be represented as a calendar date (then `out` is unspecified).
  virtual bool UtcTime(int64_t seconds, CalendarTime* out);

  // Breaks `seconds` down in the local time zone. Same results as UtcTime.
  virtual bool LocalTime(int64_t seconds, CalendarTime* out);

  // Writes the local time of day of `seconds` without seconds, in the time format of the user's
  // locale (the LC_TIME of the environment; the C locale when that is unusable), e.g. "14:05" or
  // "02:05 PM". The text never holds a comma or a line break, because log readers split records
  // at those characters. Writes at most `cap` bytes including the terminator; returns the length
  // written (without terminator), or 0 when nothing could be written (then `buf` holds "" when
  // `cap` > 0).
  virtual size_t FormatLocalTimeOfDay(int64_t seconds, char* buf, size_t cap);

  // Converts local midnight at the start of year/month/day to seconds since 1970, the way mktime
  // does: out-of-range months and days carry over (month 13 is January of the next year, day 0
  // the last day of the previous month) and daylight saving follows the zone's rules for that
  // date. The result is not limited to 32 bits; the caller applies its own range. Returns false
  // when the date cannot be converted at all (then `seconds` is unchanged).
  virtual bool LocalMidnightToSeconds(int year, int month, int day, int64_t* seconds);

  // Reads the FileVersion of the file at `path` into `version`. Returns false when the file cannot
  // be examined (missing, no permission, null path, a time beyond 64-bit nanoseconds); then
  // `version` is unchanged.
  virtual bool GetFileVersion(const char* path, FileVersion* version);

  // Blocks the calling thread for at least `ms` milliseconds (nothing for ms <= 0).
  virtual void SleepMs(int ms);

  // The file-system calls, with the contracts of the POSIX calls they are named after: -1 (or
  // a negative count) with errno on failure. Open is open(2) with O_CLOEXEC added; Lock is
  // flock(2) and waits through signals; Link is linkat(2); Stat follows symbolic links;
  // SyncDirectory opens the directory `dir` ("" for the working directory) and fsyncs it.
  virtual int Open(const char* path, int flags, mode_t mode = 0);
  virtual ssize_t Read(int fd, void* buf, size_t size);
  virtual ssize_t Write(int fd, const void* data, size_t size);
  virtual int Sync(int fd);
  virtual int Close(int fd);
  // lseek(2) to `offset` bytes from the start of the file: the new offset, or -1 with errno.
  virtual off_t Seek(int fd, off_t offset);
  virtual int ChangeMode(int fd, mode_t mode);
  virtual int ChangeOwner(int fd, uid_t owner, gid_t group);
  virtual int Rename(const char* from, const char* to);
  virtual int Link(int from_dir, const char* from, int to_dir, const char* to, int flags);
  virtual int Unlink(const char* path);
  virtual int Lock(int fd, int operation);
  virtual int Stat(const char* path, struct stat* st);
  virtual int SyncDirectory(const char* dir);

  // The calls that examine without changing, with the same contracts: LinkStat is lstat(2) (a
  // symbolic link is examined itself), FileStat is fstat(2), Access is access(2). RealPath is
  // realpath(3): `path` made absolute without links into `out`, or false with errno.
  // ListDirectory puts the names in `dir` ("" for the working directory), without "." and "..",
  // into `names`. ProcessExists tells whether a process with id `pid` runs, one that this
  // process may not signal included.
  virtual int LinkStat(const char* path, struct stat* st);
  virtual int FileStat(int fd, struct stat* st);
  virtual int Access(const char* path, int mode);
  virtual bool RealPath(const char* path, std::string* out);
  virtual int ListDirectory(const char* dir, std::vector<std::string>* names);
  virtual bool ProcessExists(pid_t pid);

  // Reads the whole file at `path` into `out` through Open, Read and Close. 1 on success; 0
  // with errno on failure, ENOENT when the file is missing and EFBIG when it holds more than
  // `max_bytes` (then `out` is unspecified).
  int ReadFile(const char* path, size_t max_bytes, std::string* out);
};

}  // namespace vard

#endif  // VARDOMAR_PLATFORM_ENV_H_
