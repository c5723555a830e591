// A reload whose backup copy fails, step by step, with the filter in the test's own process and
// the file calls made to fail: the new configuration is in force all the same, the file it came
// from is untouched, the request is recorded, and no copy or temporary file is left behind.
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "filter/auth_filter.h"
#include "gtest/gtest.h"
#include "platform/fault_env.h"
#include "schema/names.h"
#include "tests/filter_host.h"
#include "tests/filter_test_util.h"

namespace vard {
namespace {

class BackupFaultTest : public test::FilterFixture {};

TEST_F(BackupFaultTest, AFailedCopyKeepsTheNewConfigurationAndLeavesNoFile) {
  const std::string backups = sandbox_.Path("backups");
  ASSERT_EQ(0, mkdir(backups.c_str(), 0700));
  ASSERT_TRUE(sandbox_.SetRegistry(kBackupDirValue, backups));
  for (const FileCall step :
       {FileCall::kCreate, FileCall::kWrite, FileCall::kSync, FileCall::kLink}) {
    SCOPED_TRACE(static_cast<int>(step));
    config_.NtAccount("webstaff", "old");
    ASSERT_TRUE(config_.SaveChangeTo(sandbox_.config_path()));
    AuthFilter filter;
    config_.NtAccount("webstaff", "new");
    ASSERT_TRUE(config_.SaveChangeTo(sandbox_.config_path()));
    const std::string saved = test::ReadWholeFile(sandbox_.config_path());
    const size_t records = LogLines().size();

    test::HostRequest request(Alice());
    {
      ScopedFaultEnv faults;
      // The reload's copy makes the first call of each kind, before the request's record.
      faults.env().FailNth(step, 1, ENOSPC);
      filter.HttpFilterProc(request.context(), SF_NOTIFY_AUTHENTICATION, request.credentials());
      EXPECT_LE(1, faults.env().Calls(step));
    }
    EXPECT_EQ("new", request.Result(0, 0).password);
    EXPECT_EQ(saved, test::ReadWholeFile(sandbox_.config_path()));
    ASSERT_EQ(records + 1, LogLines().size());
    EXPECT_TRUE(test::IsRecord(LogLines().back(), Event::kAuthenticated, "alice", "Staff"));
    EXPECT_TRUE(test::ListDirectory(backups).empty());
  }
}

}  // namespace
}  // namespace vard
