// BackgroundThread: the job yields by its own nice value only, the starter's wait is bounded, and
// a job started after another runs after it.
#include "platform/background_thread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "gtest/gtest.h"

namespace vard {
namespace {

int NiceOfThisThread() {
  errno = 0;
  return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
}

TEST(BackgroundThreadTest, TheJobYieldsAndTheStarterDoesNot) {
  const int mine = NiceOfThisThread();
  std::atomic<int> job_nice{-100};
  BackgroundThread thread;
  const uint64_t ticket = thread.Start([&] { job_nice = NiceOfThisThread(); }, 5);
  ASSERT_NE(0u, ticket);
  EXPECT_TRUE(thread.WaitMs(ticket, 10000));
  EXPECT_EQ(std::min(19, mine + 5), job_nice.load());
  EXPECT_EQ(mine, NiceOfThisThread());
}

TEST(BackgroundThreadTest, TheWaitEndsAtItsBoundAndJobsRunOneAfterAnother) {
  std::atomic<bool> release{false};
  std::atomic<int> order{0};
  BackgroundThread thread;
  const uint64_t first = thread.Start(
      [&] {
        while (!release.load()) usleep(1000);
        order = order * 10 + 1;
      },
      0);
  EXPECT_FALSE(thread.WaitMs(first, 20));
  release = true;
  EXPECT_TRUE(thread.WaitMs(first, 10000));
  const uint64_t second = thread.Start([&] { order = order * 10 + 2; }, 0);
  EXPECT_TRUE(thread.WaitMs(second, 10000));
  // An earlier ticket has returned too.
  EXPECT_TRUE(thread.WaitMs(first, 0));
  thread.Join();
  EXPECT_EQ(12, order.load());
}

}  // namespace
}  // namespace vard
