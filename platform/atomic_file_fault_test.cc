// Every step of a replacement (Commit) and of a new file (Publish) made to fail through the
// FaultEnv: the old file stays, the failure's errno reaches the caller, no temporary remains.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/atomic_file.h"
#include "platform/fault_env.h"

namespace vard {
namespace {

struct Step {
  const char* name;
  FileCall call;
  int nth;
  bool unnamed;  // whether the step exists with an unnamed temporary (O_TMPFILE)
  bool named;    // whether it exists with a named one
};

// A content larger than the stream's buffer, so that the first write happens before the flush
// and the second at it.
const std::string kBig(20000, 'n');

constexpr Step kSteps[] = {
    {"create", FileCall::kCreate, 1, true, true}, {"chmod", FileCall::kChmod, 1, true, true},
    {"write", FileCall::kWrite, 1, true, true},   {"flush", FileCall::kWrite, 2, true, true},
    {"fsync", FileCall::kSync, 1, true, true},    {"close", FileCall::kClose, 1, true, true},
    {"link", FileCall::kLink, 1, true, true},     {"rename", FileCall::kRename, 1, true, true},
    {"stat", FileCall::kStat, 1, true, true},
};

class AtomicFileFaultTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "/faultXXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    target_ = dir_ + "/config.cfg";
    UseUnnamedTemporaryFiles(GetParam());
  }
  void TearDown() override {
    UseUnnamedTemporaryFiles(true);
    std::filesystem::remove_all(dir_);
  }
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
  bool Applies(const Step& step) const { return GetParam() ? step.unnamed : step.named; }

  std::string dir_;
  std::string target_;
};

TEST_P(AtomicFileFaultTest, AFailedStepOfASaveKeepsTheOldFile) {
  ASSERT_EQ(WriteFileAtomically(target_, "old\n"), 1);
  for (const Step& step : kSteps) {
    SCOPED_TRACE(step.name);
    ScopedFaultEnv faults;
    faults.env().FailNth(step.call, step.nth, EIO);
    const int saved = WriteFileAtomically(target_, kBig);
    const int error = errno;
    // A failed stat only loses the old file's rights, which the new file then does without.
    if (step.call == FileCall::kStat) {
      EXPECT_EQ(saved, 1);
      ASSERT_EQ(WriteFileAtomically(target_, "old\n"), 1);
      continue;
    }
    // With a named temporary nothing is linked: the step never happens and the save succeeds.
    if (step.call == FileCall::kLink && !GetParam()) {
      EXPECT_EQ(saved, 1);
      ASSERT_EQ(WriteFileAtomically(target_, "old\n"), 1);
      continue;
    }
    EXPECT_EQ(saved, 0);
    EXPECT_EQ(error, EIO);
    EXPECT_EQ(Read(target_), "old\n");
    EXPECT_EQ(FilesInDir(), 1);
  }
}

// The new name is in place and its content synced: a directory sync that fails does not undo a
// change that every reader already sees.
TEST_P(AtomicFileFaultTest, AFailedDirectorySyncStillReportsTheSave) {
  ScopedFaultEnv faults;
  faults.env().FailNth(FileCall::kSyncDirectory, 1, ENOSPC);
  EXPECT_EQ(WriteFileAtomically(target_, "new\n"), 1);
  EXPECT_EQ(Read(target_), "new\n");
  EXPECT_EQ(FilesInDir(), 1);
}

TEST_P(AtomicFileFaultTest, AFailedStepOfANewFileNamesNothing) {
  const std::string name = dir_ + "/backup";
  for (const Step& step : kSteps) {
    if (step.call == FileCall::kRename || step.call == FileCall::kStat) continue;
    SCOPED_TRACE(step.name);
    ScopedFaultEnv faults;
    faults.env().FailNth(step.call, step.nth, ENOSPC);
    AtomicFile file(AtomicFile::NewFileIn{dir_});
    file.Write(kBig);
    EXPECT_EQ(file.Publish(name), 0);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_FALSE(std::filesystem::exists(name));
    EXPECT_EQ(FilesInDir(), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Temporaries, AtomicFileFaultTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Unnamed" : "Named"; });

}  // namespace
}  // namespace vard
