// The retry of reads that a replace on a shared file system fails for a moment: the failures it
// outlasts, the one it gives up on, and those it never retries.
#include "platform/transient_retry.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/fault_env.h"

namespace vard {
namespace {

// Fails the next open with `error` `failures` times over (each pause arms the next failure) and
// counts the pauses instead of sleeping.
class FlakyOpenEnv : public FaultEnv {
 public:
  void Plan(int error, int failures) {
    error_ = error;
    left_ = failures;
    Arm();
  }
  void SleepMs(int ms) override {
    ++sleeps;
    slept_ms += ms;
    Arm();
  }
  int sleeps = 0;
  int slept_ms = 0;

 private:
  void Arm() {
    if (left_-- > 0) FailNth(FileCall::kOpen, 1, error_);
  }
  int error_ = 0;
  int left_ = 0;
};

TEST(TransientRetryTest, RetriesOnlyWhatAReplaceCausesAndGivesUpAfterTheLastTry) {
  char dir_template[] = "/tmp/vardomar-retry-XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  const std::string file = std::string(dir_template) + "/cfg";
  FILE* f = std::fopen(file.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);

  struct Case {
    const char* name;
    int error;
    int failures;
    int result;  // of the retried open
    int opens;
    int sleeps;
  };
  const Case kCases[] = {
      {"stale twice, then read", ESTALE, 2, 1, 3, 2},
      {"missing for a moment", ENOENT, kTransientTries - 1, 1, kTransientTries,
       kTransientTries - 1},
      {"missing for good", ENOENT, kTransientTries, 0, kTransientTries, kTransientTries - 1},
      {"no rights: at once", EACCES, 1, 0, 1, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FlakyOpenEnv env;
    Env* const previous = Env::SetForTesting(&env);
    env.Plan(c.error, c.failures);
    const int result = RetryTransientFailure([&] {
      const int fd = Env::Default()->Open(file.c_str(), O_RDONLY);
      if (fd < 0) return 0;
      Env::Default()->Close(fd);
      return 1;
    });
    const int error = errno;
    Env::SetForTesting(previous);
    EXPECT_EQ(result, c.result);
    if (result == 0) {
      EXPECT_EQ(error, c.error);
    }
    EXPECT_EQ(env.Calls(FileCall::kOpen), c.opens);
    EXPECT_EQ(env.sleeps, c.sleeps);
    EXPECT_EQ(env.slept_ms, c.sleeps * kTransientPauseMs);
  }
  unlink(file.c_str());
  rmdir(dir_template);
}

}  // namespace
}  // namespace vard
