// Serialises the load-change-save cycle of every program that edits the configuration (the CGI
// programs and vardcfg): the LockFile "<configuration path>.lock" beside the configuration.
// Operations hold it exclusive from before the load until after the save, read-only pages hold
// it shared, so two operations running at once never lose each other's change. Each object is used
// by one thread.
#ifndef VARDOMAR_PLATFORM_CONFIG_LOCK_H_
#define VARDOMAR_PLATFORM_CONFIG_LOCK_H_

#include <string_view>

#include "platform/lock_file.h"

namespace vard {

// Holds the lock from construction until destruction (or Release).
class ConfigLock {
 public:
  // Opens (creating when needed, mode 0666 less the umask; never through a symbolic link) the
  // lock file of `config_path` and waits until the lock is granted. Once it holds the exclusive
  // lock it removes the temporary files that saves killed midway left beside the configuration.
  // When the lock file cannot be opened or locked (an empty path, a directory that does not exist
  // or cannot be written, a link at its name), the object holds nothing and the program goes on
  // unlocked: loading or saving will then report the real problem.
  ConfigLock(std::string_view config_path, LockMode mode);

  // True while the lock is held.
  bool Held() const { return lock_.Held(); }
  // Gives the lock up early; idempotent.
  void Release() { lock_.Release(); }

 private:
  LockFile lock_;
};

}  // namespace vard

#endif  // VARDOMAR_PLATFORM_CONFIG_LOCK_H_
