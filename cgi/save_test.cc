#include "cgi/save.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "platform/fault_env.h"

namespace vard {
namespace {

// Every step of a page's save made to fail: the page says so in words and the old file stays,
// with nothing left beside it.
TEST(SaveConfigurationTest, AFailedStepIsReportedAndTheOldFileStays) {
  std::string dir = ::testing::TempDir() + "/saveXXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const std::string path = dir + "/vardomar.cfg";
  const std::string old_text = "[Main]\n    (int)Version=1\n";
  { std::ofstream(path, std::ios::binary) << old_text; }
  TreeSection root(path.c_str(), true);
  ASSERT_EQ(root.LoadFile(), 1);
  root.OpenSection("Added");
  const FileCall kSteps[] = {FileCall::kCreate, FileCall::kChmod, FileCall::kWrite, FileCall::kSync,
                             FileCall::kLink,   FileCall::kClose, FileCall::kRename};
  for (const FileCall call : kSteps) {
    SCOPED_TRACE(static_cast<int>(call));
    testing::internal::CaptureStdout();
    int saved = 1;
    {
      ScopedFaultEnv faults;
      faults.env().FailNth(call, 1, EIO);
      saved = SaveConfiguration(&root);
    }
    std::fflush(stdout);
    EXPECT_EQ(saved, 0);
    EXPECT_EQ(
        testing::internal::GetCapturedStdout(),
        "Configuration could not be saved - nothing was changed. " + path + ": Input/output error");
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), old_text);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                            std::filesystem::directory_iterator()),
              1);
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vard
