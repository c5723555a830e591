// Serialises the load-change-save cycle of every program that edits the configuration (the CGI
// programs and vardcfg): an advisory lock (flock) on the lock file "<configuration path>.lock"
// beside the configuration. Operations hold it exclusive from before the load until after the
// save, read-only pages hold it shared, so two operations running at once never lose each
// other's change. Each object is used by one thread.
#ifndef VARD_PLATFORM_CONFIG_LOCK_H_
#define VARD_PLATFORM_CONFIG_LOCK_H_

#include <string>
#include <string_view>

namespace vard {

enum class LockMode { kShared, kExclusive };

// The path of the lock file of the configuration at `config_path`.
std::string LockPathFor(std::string_view config_path);

// Holds the lock from construction until destruction (or Release). Owns its file descriptor.
class ConfigLock {
 public:
  // Opens (creating when needed, mode 0666 less the umask; never through a symbolic link) the
  // lock file of `config_path` and waits until the lock is granted. Once it holds the exclusive
  // lock it removes the temporary files that saves killed midway left beside the configuration.
  // When the lock file cannot be opened or locked (an empty path, a directory that does not exist
  // or cannot be written, a link at its name), the object holds nothing and the program goes on
  // unlocked: loading or saving will then report the real problem.
  ConfigLock(std::string_view config_path, LockMode mode);
  ~ConfigLock();
  ConfigLock(const ConfigLock&) = delete;
  ConfigLock& operator=(const ConfigLock&) = delete;

  // True while the lock is held.
  bool Held() const { return fd_ >= 0; }
  // Gives the lock up early; idempotent.
  void Release();

 private:
  int fd_ = -1;
};

}  // namespace vard

#endif  // VARD_PLATFORM_CONFIG_LOCK_H_
