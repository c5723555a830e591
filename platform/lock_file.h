// LockFile: an advisory lock (flock) on a file "<path>.lock" beside a file that is replaced by
// rename on every save, since a lock on the replaced file itself would guard nothing. The one
// lock-file rule of the system: the configuration (ConfigLock) and the settings store both use
// it. Each object is used by one thread and owns its descriptor.
#ifndef VARDOMAR_PLATFORM_LOCK_FILE_H_
#define VARDOMAR_PLATFORM_LOCK_FILE_H_

#include <sys/types.h>

#include <string>
#include <string_view>

namespace vard {

enum class LockMode { kShared, kExclusive };

// The path of the lock file that guards the file at `guarded_path`.
std::string LockPathFor(std::string_view guarded_path);

// Holds the lock from construction until destruction (or Release).
class LockFile {
 public:
  // Opens the lock file of `guarded_path` (creating it with `create_mode` less the umask when
  // missing; never through a symbolic link) and waits until the lock is granted. When it cannot
  // be opened or locked (an empty path, a directory that does not exist or cannot be written, a
  // link at its name), the object holds nothing: Held() is false.
  LockFile(std::string_view guarded_path, LockMode mode, mode_t create_mode);
  ~LockFile();
  LockFile(const LockFile&) = delete;
  LockFile& operator=(const LockFile&) = delete;

  // True while the lock is held.
  bool Held() const { return fd_ >= 0; }
  // Gives the lock up early; idempotent.
  void Release();

 private:
  int fd_ = -1;
};

}  // namespace vard

#endif  // VARDOMAR_PLATFORM_LOCK_FILE_H_
