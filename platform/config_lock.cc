#include "platform/config_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "platform/atomic_file.h"

namespace vard {

std::string LockPathFor(std::string_view config_path) {
  std::string path(config_path);
  path += ".lock";
  return path;
}

ConfigLock::ConfigLock(std::string_view config_path, LockMode mode) {
  if (config_path.empty()) return;
  const std::string path = LockPathFor(config_path);
  // O_NOFOLLOW: a link planted at the name must not make this program create or lock some other
  // file.
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  // flock works on a descriptor of any access mode, so a lock file that this user may only
  // read still serialises.
  if (fd < 0) fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  const int operation = mode == LockMode::kExclusive ? LOCK_EX : LOCK_SH;
  int result;
  do {
    result = flock(fd, operation);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    close(fd);
    return;
  }
  fd_ = fd;
  // Every writer of the configuration holds this lock exclusively while it saves, so whatever
  // temporary file of a save is left now belongs to a writer that died in the middle of one.
  if (mode == LockMode::kExclusive) RemoveAbandonedTemporaries(config_path);
}

ConfigLock::~ConfigLock() { Release(); }

void ConfigLock::Release() {
  if (fd_ < 0) return;
  // Closing the only descriptor of the open file description drops the flock.
  close(fd_);
  fd_ = -1;
}

}  // namespace vard
