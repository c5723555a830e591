#include "platform/config_lock.h"

#include "platform/atomic_file.h"

namespace vard {

// Every program that edits the configuration may run as another user than the one that created
// the lock file, so it is writable by all (less the umask).
ConfigLock::ConfigLock(std::string_view config_path, LockMode mode)
    : lock_(config_path, mode, 0666) {
  // Every writer of the configuration holds this lock exclusively while it saves, so whatever
  // temporary file of a save is left now belongs to a writer that died in the middle of one.
  if (lock_.Held() && mode == LockMode::kExclusive) RemoveAbandonedTemporaries(config_path);
}

}  // namespace vard
