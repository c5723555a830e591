#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace vard {
namespace {

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "/atomicXXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    target_ = dir_ + "/config.cfg";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  int FilesInDir() const {
    return static_cast<int>(std::distance(std::filesystem::directory_iterator(dir_),
                                          std::filesystem::directory_iterator()));
  }

  std::string dir_;
  std::string target_;
};

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

// A full disk, simulated with the file size limit, which binds root as well.
TEST_F(AtomicFileTest, WriteErrorsAreDetectedAndTheOldFileSurvives) {
  ASSERT_EQ(WriteFileAtomically(target_, "old\n"), 1);
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int ok = WriteFileAtomically(target_, std::string(100000, 'x'));
  const int error = errno;
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, old_handler);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(error, EFBIG);
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

  if (geteuid() != 0) {
    ASSERT_EQ(chmod(dir_.c_str(), 0555), 0);
    EXPECT_EQ(WriteFileAtomically(target_, "new"), 0);
    EXPECT_EQ(errno, EACCES);
    chmod(dir_.c_str(), 0755);
    EXPECT_EQ(Read(target_), "x");
  }
}

TEST_F(AtomicFileTest, SymbolicLinkStaysALink) {
  const std::string real = dir_ + "/real.cfg";
  ASSERT_EQ(WriteFileAtomically(real, "old"), 1);
  ASSERT_EQ(symlink(real.c_str(), target_.c_str()), 0);
  ASSERT_EQ(WriteFileAtomically(target_, "new"), 1);
  EXPECT_TRUE(std::filesystem::is_symlink(target_));
  EXPECT_EQ(Read(real), "new");
}

}  // namespace
}  // namespace vard
