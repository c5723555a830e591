#include "platform/lock_file.h"

#include <fcntl.h>
#include <sys/file.h>

#include "platform/env.h"

namespace vard {

std::string LockPathFor(std::string_view guarded_path) {
  std::string path(guarded_path);
  path += ".lock";
  return path;
}

LockFile::LockFile(std::string_view guarded_path, LockMode mode, mode_t create_mode) {
  if (guarded_path.empty()) return;
  Env& env = *Env::Default();
  const std::string path = LockPathFor(guarded_path);
  // O_NOFOLLOW: a link planted at the name must not make this program create or lock some other
  // file.
  int fd = env.Open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW, create_mode);
  // flock works on a descriptor of any access mode, so a lock file that this user may only
  // read still serialises.
  if (fd < 0) fd = env.Open(path.c_str(), O_RDONLY | O_NOFOLLOW);
  if (fd < 0) return;
  if (env.Lock(fd, mode == LockMode::kExclusive ? LOCK_EX : LOCK_SH) != 0) {
    env.Close(fd);
    return;
  }
  fd_ = fd;
}

LockFile::~LockFile() { Release(); }

void LockFile::Release() {
  if (fd_ < 0) return;
  // Closing the only descriptor of the open file description drops the flock.
  Env::Default()->Close(fd_);
  fd_ = -1;
}

}  // namespace vard
