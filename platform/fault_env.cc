#include "platform/fault_env.h"

#include <fcntl.h>

#include <cerrno>

namespace vard {

void FaultEnv::FailNth(FileCall call, int nth, int error) {
  const std::lock_guard<std::mutex> hold(mutex_);
  Plan& plan = plans_[static_cast<size_t>(call)];
  plan.fail_at = nth > 0 ? plan.calls + nth : 0;
  plan.error = error;
}

int FaultEnv::Calls(FileCall call) const {
  const std::lock_guard<std::mutex> hold(mutex_);
  return plans_[static_cast<size_t>(call)].calls;
}

bool FaultEnv::Trips(FileCall call) {
  const std::lock_guard<std::mutex> hold(mutex_);
  Plan& plan = plans_[static_cast<size_t>(call)];
  if (++plan.calls != plan.fail_at) return false;
  plan.fail_at = 0;
  errno = plan.error;
  return true;
}

int FaultEnv::Open(const char* path, int flags, mode_t mode) {
  // O_TMPFILE includes the O_DIRECTORY bit, so test for all of its bits.
  const bool creates = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
  return Trips(creates ? FileCall::kCreate : FileCall::kOpen) ? -1 : Env::Open(path, flags, mode);
}
ssize_t FaultEnv::Read(int fd, void* buf, size_t size) {
  return Trips(FileCall::kRead) ? -1 : Env::Read(fd, buf, size);
}
ssize_t FaultEnv::Write(int fd, const void* data, size_t size) {
  return Trips(FileCall::kWrite) ? -1 : Env::Write(fd, data, size);
}
int FaultEnv::Sync(int fd) { return Trips(FileCall::kSync) ? -1 : Env::Sync(fd); }
int FaultEnv::Close(int fd) {
  // The descriptor is released even when the close reports a failure, as close(2) does on Linux.
  if (!Trips(FileCall::kClose)) return Env::Close(fd);
  const int error = errno;
  Env::Close(fd);
  errno = error;
  return -1;
}
int FaultEnv::ChangeMode(int fd, mode_t mode) {
  return Trips(FileCall::kChmod) ? -1 : Env::ChangeMode(fd, mode);
}
int FaultEnv::ChangeOwner(int fd, uid_t owner, gid_t group) {
  return Trips(FileCall::kChown) ? -1 : Env::ChangeOwner(fd, owner, group);
}
int FaultEnv::Rename(const char* from, const char* to) {
  return Trips(FileCall::kRename) ? -1 : Env::Rename(from, to);
}
int FaultEnv::Link(int from_dir, const char* from, int to_dir, const char* to, int flags) {
  return Trips(FileCall::kLink) ? -1 : Env::Link(from_dir, from, to_dir, to, flags);
}
int FaultEnv::Unlink(const char* path) { return Trips(FileCall::kUnlink) ? -1 : Env::Unlink(path); }
int FaultEnv::Lock(int fd, int operation) {
  return Trips(FileCall::kLock) ? -1 : Env::Lock(fd, operation);
}
int FaultEnv::Stat(const char* path, struct stat* st) {
  return Trips(FileCall::kStat) ? -1 : Env::Stat(path, st);
}
int FaultEnv::SyncDirectory(const char* dir) {
  return Trips(FileCall::kSyncDirectory) ? -1 : Env::SyncDirectory(dir);
}

}  // namespace vard
