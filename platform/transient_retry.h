// Reading a file that other machines replace. On a network file system an open racing a replace
// made through another mount (a rename over the file) can fail with ENOENT, and one through the
// writer's own mount with ESTALE, although the file exists before and after; a read of a file
// just replaced can fail with ESTALE alike. Readers of the configuration retry such a failure a
// few times, a few milliseconds apart (sleeping through Env, so tests need not wait), before
// they count it. Stateless; safe from any thread.
#ifndef VARDOMAR_PLATFORM_TRANSIENT_RETRY_H_
#define VARDOMAR_PLATFORM_TRANSIENT_RETRY_H_

#include <cerrno>

#include "platform/env.h"

namespace vard {

// Tries in all, and the pause between two of them. A replace is one rename, seen through the
// other mounts within a few milliseconds when their caches are set as the README recommends;
// a file that is really missing costs the reader 12 ms more than it did.
inline constexpr int kTransientTries = 5;
inline constexpr int kTransientPauseMs = 3;

// Whether `error` (an errno value) is one that a replace under way on a shared file system
// causes: ENOENT or ESTALE.
constexpr bool IsTransientFileError(int error) { return error == ENOENT || error == ESTALE; }

// Calls `attempt` (returning nonzero on success, 0 with errno set on failure) until it succeeds,
// fails with an error that IsTransientFileError does not accept, or has failed kTransientTries
// times. Returns the last attempt's result; errno then is that of its failure.
template <typename Attempt>
int RetryTransientFailure(Attempt&& attempt) {
  for (int tries = 1;; ++tries) {
    const int result = attempt();
    if (result != 0 || tries == kTransientTries || !IsTransientFileError(errno)) return result;
    const int error = errno;
    Env::Default()->SleepMs(kTransientPauseMs);
    errno = error;
  }
}

}  // namespace vard

#endif  // VARDOMAR_PLATFORM_TRANSIENT_RETRY_H_
