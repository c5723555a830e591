// FaultEnv: the real operating system, except that a test may make the Nth call of one kind fail
// with an errno of its choosing, so that every step of a save, a backup or a store update can be
// made to fail on purpose (a full disk at the sync, a failed rename) as no chmod or file-size
// trick can for root. A test owns its FaultEnv; ScopedFaultEnv installs it for one scope. Safe
// for use by many threads; the counts are shared by all of them.
#ifndef VARDOMAR_PLATFORM_FAULT_ENV_H_
#define VARDOMAR_PLATFORM_FAULT_ENV_H_

#include <array>
#include <mutex>

#include "platform/env.h"

namespace vard {

class FaultEnv : public Env {
 public:
  // Makes the `nth` call of `call` from now on (1 for the next) fail with `error`, once.
  // Replaces an earlier plan for the same kind.
  void FailNth(FileCall call, int nth, int error);
  // How many calls of `call` were made since this object was created.
  int Calls(FileCall call) const;

  int Open(const char* path, int flags, mode_t mode) override;
  ssize_t Read(int fd, void* buf, size_t size) override;
  ssize_t Write(int fd, const void* data, size_t size) override;
  int Sync(int fd) override;
  int Close(int fd) override;
  int ChangeMode(int fd, mode_t mode) override;
  int ChangeOwner(int fd, uid_t owner, gid_t group) override;
  int Rename(const char* from, const char* to) override;
  int Link(int from_dir, const char* from, int to_dir, const char* to, int flags) override;
  int Unlink(const char* path) override;
  int Lock(int fd, int operation) override;
  int Stat(const char* path, struct stat* st) override;
  int SyncDirectory(const char* dir) override;

 private:
  struct Plan {
    int calls = 0;    // calls made so far
    int fail_at = 0;  // the call number that fails; 0 for none
    int error = 0;
  };
  // Counts a call of `call`; true (errno set) when this one is to fail.
  bool Trips(FileCall call);

  mutable std::mutex mutex_;
  std::array<Plan, static_cast<size_t>(FileCall::kCount)> plans_;  // guarded by mutex_
};

// Installs a FaultEnv as Env::Default() for the life of the object, then restores the previous.
class ScopedFaultEnv {
 public:
  ScopedFaultEnv() : previous_(Env::SetForTesting(&env_)) {}
  ~ScopedFaultEnv() { Env::SetForTesting(previous_); }
  ScopedFaultEnv(const ScopedFaultEnv&) = delete;
  ScopedFaultEnv& operator=(const ScopedFaultEnv&) = delete;

  FaultEnv& env() { return env_; }

 private:
  FaultEnv env_;
  Env* previous_;
};

}  // namespace vard

#endif  // VARDOMAR_PLATFORM_FAULT_ENV_H_
