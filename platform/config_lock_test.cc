#include "platform/config_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "gtest/gtest.h"

namespace vard {
namespace {

class ConfigLockTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vard-lock-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    config_ = dir_ + "/config.cfg";
  }
  void TearDown() override {
    unlink((config_ + ".lock").c_str());
    rmdir(dir_.c_str());
  }

  // Whether another open file description could take the lock in `mode` right now.
  bool Available(int mode) {
    const int fd = open((config_ + ".lock").c_str(), O_RDWR | O_CREAT, 0666);
    EXPECT_GE(fd, 0);
    const bool ok = flock(fd, mode | LOCK_NB) == 0;
    close(fd);
    return ok;
  }

  std::string dir_, config_;
};

TEST_F(ConfigLockTest, LockFileLiesBesideTheConfiguration) {
  EXPECT_EQ(LockPathFor("/etc/vardomar/auth.cfg"), "/etc/vardomar/auth.cfg.lock");
}

TEST_F(ConfigLockTest, ExclusiveExcludesEveryoneUntilReleased) {
  ConfigLock lock(config_, LockMode::kExclusive);
  ASSERT_TRUE(lock.Held());
  EXPECT_FALSE(Available(LOCK_SH));
  EXPECT_FALSE(Available(LOCK_EX));
  lock.Release();
  EXPECT_FALSE(lock.Held());
  EXPECT_TRUE(Available(LOCK_EX));
}

TEST_F(ConfigLockTest, SharedAdmitsReadersButNoWriter) {
  {
    ConfigLock lock(config_, LockMode::kShared);
    ASSERT_TRUE(lock.Held());
    EXPECT_TRUE(Available(LOCK_SH));
    EXPECT_FALSE(Available(LOCK_EX));
  }
  EXPECT_TRUE(Available(LOCK_EX));
}

TEST_F(ConfigLockTest, UnusableLocationHoldsNothing) {
  EXPECT_FALSE(ConfigLock("", LockMode::kExclusive).Held());
  EXPECT_FALSE(ConfigLock(dir_ + "/missing/config.cfg", LockMode::kExclusive).Held());
  // A link planted at the lock file's name is not followed: nothing is created where it points.
  const std::string elsewhere = dir_ + "/elsewhere";
  ASSERT_EQ(symlink(elsewhere.c_str(), (config_ + ".lock").c_str()), 0);
  EXPECT_FALSE(ConfigLock(config_, LockMode::kExclusive).Held());
  EXPECT_NE(access(elsewhere.c_str(), F_OK), 0);
}

}  // namespace
}  // namespace vard
