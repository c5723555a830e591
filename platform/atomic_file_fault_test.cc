// Every step of a replacement (Commit) and of a new file (Publish) made to fail through the
// FaultEnv: the old file stays, the failure's errno reaches the caller, no temporary remains.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/atomic_file.h"
#include "platform/atomic_file_test_support.h"
#include "platform/fault_env.h"

namespace vard {
namespace {

struct Step {
  const char* name;
  FileCall call;
  int nth;
};

// A content larger than the stream's buffer, so that the first write happens before the flush
// and the second at it.
const std::string kBig(20000, 'n');

constexpr Step kSteps[] = {
    {"create", FileCall::kCreate, 1}, {"chmod", FileCall::kChmod, 1},
    {"write", FileCall::kWrite, 1},   {"flush", FileCall::kWrite, 2},
    {"fsync", FileCall::kSync, 1},    {"close", FileCall::kClose, 1},
    {"link", FileCall::kLink, 1},     {"rename", FileCall::kRename, 1},
    {"stat", FileCall::kStat, 1},
};

class AtomicFileFaultTest : public AtomicFileDirTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    AtomicFileDirTest::SetUp();
    UseUnnamedTemporaryFiles(GetParam());
  }
  void TearDown() override {
    UseUnnamedTemporaryFiles(true);
    AtomicFileDirTest::TearDown();
  }
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
