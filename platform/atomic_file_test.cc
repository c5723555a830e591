#include "platform/atomic_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/atomic_file_test_support.h"
#include "platform/fault_env.h"

namespace vard {
namespace {

using AtomicFileTest = AtomicFileDirTest;

TEST_F(AtomicFileTest, ReplacesTheFileKeepingItsPermissionBits) {
  ASSERT_EQ(WriteFileAtomically(target_, "old\n"), 1);
  ASSERT_EQ(chmod(target_.c_str(), 0640), 0);
  ASSERT_EQ(WriteFileAtomically(target_, "new\n"), 1);
  EXPECT_EQ(Read(target_), "new\n");
  struct stat st {};
  ASSERT_EQ(stat(target_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(FilesInDir(), 1);
}

TEST_F(AtomicFileTest, AbandonedOrFailedWritesLeaveTheOldFile) {
  ASSERT_EQ(WriteFileAtomically(target_, "old\n"), 1);
  {
    AtomicFile file(target_);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Write("half"), 1);
  }
  EXPECT_EQ(Read(target_), "old\n");
  AtomicFile failed(target_);
  failed.Write("new\n");
  failed.Fail(ENOSPC);
  EXPECT_EQ(failed.Commit(), 0);
  EXPECT_EQ(errno, ENOSPC);
  EXPECT_EQ(Read(target_), "old\n");
  EXPECT_EQ(FilesInDir(), 1);
}

TEST_F(AtomicFileTest, UnusableTargetsFailWithErrno) {
  AtomicFile no_dir(dir_ + "/missing/config.cfg");
  EXPECT_FALSE(no_dir.IsOpen());
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(no_dir.Commit(), 0);

  ASSERT_EQ(WriteFileAtomically(target_, "x"), 1);
  EXPECT_EQ(WriteFileAtomically(target_ + "/below", "y"), 0);
  EXPECT_EQ(errno, ENOTDIR);

  // The rename cannot replace a directory: nothing changes, no temporary file stays.
  const std::string directory = dir_ + "/sub";
  ASSERT_EQ(mkdir(directory.c_str(), 0755), 0);
  EXPECT_EQ(WriteFileAtomically(directory, "z"), 0);
  EXPECT_EQ(errno, EISDIR);
  EXPECT_TRUE(std::filesystem::is_directory(directory));
  EXPECT_EQ(FilesInDir(), 2);

  // A directory this user may not write in, as it looks to root too.
  ScopedFaultEnv faults;
  faults.env().FailNth(FileCall::kCreate, 1, EACCES);
  EXPECT_EQ(WriteFileAtomically(target_, "new"), 0);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(Read(target_), "x");
}

TEST_F(AtomicFileTest, SymbolicLinkStaysALink) {
  const std::string real = dir_ + "/real.cfg";
  ASSERT_EQ(WriteFileAtomically(real, "old"), 1);
  ASSERT_EQ(symlink(real.c_str(), target_.c_str()), 0);
  ASSERT_EQ(WriteFileAtomically(target_, "new"), 1);
  EXPECT_TRUE(std::filesystem::is_symlink(target_));
  EXPECT_EQ(Read(real), "new");
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Every way of creating a file, unnamed and named, under a permissive and the usual umask: the
// file never holds more rights than its final ones, not even before its first byte.
TEST_F(AtomicFileTest, FilesArePrivateFromTheirFirstByteUnderAnyUmask) {
  const std::string bait = dir_ + "/bait";
  const std::string taken = dir_ + "/taken.cfg";
  for (const bool unnamed : {true, false}) {
    for (const mode_t mask : {mode_t{0}, mode_t{022}}) {
      SCOPED_TRACE(std::to_string(unnamed) + " umask " + std::to_string(mask));
      UseUnnamedTemporaryFiles(unnamed);
      const mode_t saved_mask = umask(mask);
      std::filesystem::remove(target_);
      struct stat st {};
      {
        AtomicFile file(target_);
        ASSERT_TRUE(file.IsOpen());
        ASSERT_EQ(fstat(file.descriptor(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        file.Write("new\n");
        ASSERT_EQ(file.Commit(), 1);
      }
      EXPECT_EQ(ModeOf(target_), 0600u);
      ASSERT_EQ(chmod(target_.c_str(), 0640), 0);
      ASSERT_EQ(WriteFileAtomically(target_, "again\n"), 1);
      EXPECT_EQ(ModeOf(target_), 0640u);
      ASSERT_EQ(WriteFileAtomically(dir_ + "/store", "s", 0644), 1);
      EXPECT_EQ(ModeOf(dir_ + "/store"), 0644u);

      // A new file never replaces or follows what stands at its name, a planted link included.
      { std::ofstream(bait) << "bait"; }
      std::filesystem::remove(taken);
      ASSERT_EQ(symlink(bait.c_str(), taken.c_str()), 0);
      const std::string fresh = dir_ + "/fresh.cfg";
      std::filesystem::remove(fresh);
      AtomicFile copy(AtomicFile::NewFileIn{dir_});
      ASSERT_TRUE(copy.IsOpen());
      ASSERT_EQ(fstat(copy.descriptor(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, 0600u);
      copy.Write("copy");
      EXPECT_EQ(copy.Publish(taken), 0);
      EXPECT_EQ(errno, EEXIST);
      EXPECT_EQ(copy.Publish(fresh), 1);
      EXPECT_EQ(Read(bait), "bait");
      EXPECT_EQ(Read(fresh), "copy");
      EXPECT_EQ(ModeOf(fresh), 0600u);
      umask(saved_mask);
      // Nothing but the named files: no temporary file stays.
      EXPECT_EQ(FilesInDir(), 5);
    }
  }
  UseUnnamedTemporaryFiles(true);
}

TEST_F(AtomicFileTest, TemporariesOfDeadWritersAreRemoved) {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  ASSERT_GT(child, 0);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  const std::string dead = dir_ + "/.config.cfg.tmp" + std::to_string(child) + ".0123456789abcdef";
  const std::string alive =
      dir_ + "/.config.cfg.tmp" + std::to_string(getppid()) + ".0123456789abcdef";
  const std::string other = dir_ + "/.other.cfg.tmp" + std::to_string(child) + ".0123456789abcdef";
  const std::string odd = dir_ + "/.config.cfg.tmp" + std::to_string(child) + ".x";
  for (const std::string& path : {dead, alive, other, odd}) std::ofstream(path) << "x";
  RemoveAbandonedTemporaries(target_);
  EXPECT_FALSE(std::filesystem::exists(dead));
  EXPECT_TRUE(std::filesystem::exists(alive));
  EXPECT_TRUE(std::filesystem::exists(other));
  EXPECT_TRUE(std::filesystem::exists(odd));

  // New files have no common lock: a dead writer's file counts as abandoned only once it is old.
  const std::string fresh =
      dir_ + "/.vardomar-new.tmp" + std::to_string(child) + ".0123456789abcdef";
  const std::string stale =
      dir_ + "/.vardomar-new.tmp" + std::to_string(child) + ".fedcba9876543210";
  for (const std::string& path : {fresh, stale}) std::ofstream(path) << "x";
  const timespec long_ago[2] = {{0, UTIME_OMIT}, {time(nullptr) - 3600, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, stale.c_str(), long_ago, 0), 0);
  RemoveAbandonedNewFiles(dir_);
  EXPECT_TRUE(std::filesystem::exists(fresh));
  EXPECT_FALSE(std::filesystem::exists(stale));
}

}  // namespace
}  // namespace vard
