// vardadmin and vardcfg processes running at the same time: operations serialise on the lock
// beside the configuration, so no change is lost, and read-only pages wait only for operations.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "schema/names.h"
#include "tests/cgi_runner.h"
#include "tree/tree_node.h"

namespace vard::test {
namespace {

// The lock file held by the test itself, standing in for another program's operation.
class HeldLock {
 public:
  HeldLock(const std::string& config_path, int mode) {
    fd_ = open((config_path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    EXPECT_GE(fd_, 0);
    EXPECT_EQ(flock(fd_, mode), 0);
  }
  ~HeldLock() { Release(); }
  void Release() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

std::unique_ptr<CgiProcess> Start(const CgiRequest& request) {
  return std::make_unique<CgiProcess>(ProgramPath("vardadmin"), request);
}

void Pause() { std::this_thread::sleep_for(std::chrono::milliseconds(400)); }

// A configuration big enough that loading and saving it takes a while, so that processes
// running at once really overlap.
std::string BigConfig() {
  std::string config = "{ NTACCOUNTS:\n} NTACCOUNTS;\n{ ACCOUNTS:\n    { Filler:\n";
  for (int i = 0; i < 20000; ++i) {
    const std::string user = "user" + std::to_string(i);
    config += "        { " + user + ":\n            (string)Password=pw\n        } " + user + ";\n";
  }
  config += "    } Filler;\n} ACCOUNTS;\n";
  return config;
}

TEST(AdminLockTest, OperationsAndPagesWaitForAnOperationInProgress) {
  CgiSite site(kEmptyConfig);
  HeldLock lock(site.config_path(), LOCK_EX);
  auto operation = Start(site.Request("Action=MainScreenDo", "Disable=ON&LogFile=%2Fa.log"));
  auto page = Start(site.Request("Action=MainScreen"));
  Pause();
  EXPECT_TRUE(operation->Running());
  EXPECT_TRUE(page->Running());
  lock.Release();
  EXPECT_EQ(operation->Wait().exit_status, 0);
  EXPECT_EQ(page->Wait().exit_status, 0);
  TreeSection root(site.config_path(), true);
  ASSERT_EQ(root.LoadFile(), 1);
  EXPECT_EQ(root.GetSection(kMain)->GetValue(kDisable)->GetInt(), 1);
}

TEST(AdminLockTest, PagesShareTheLockButOperationsWaitForReaders) {
  CgiSite site(kEmptyConfig);
  HeldLock lock(site.config_path(), LOCK_SH);
  auto operation = Start(site.Request("Action=MainScreenDo", "Disable=ON&LogFile="));
  EXPECT_EQ(RunCgi(ProgramPath("vardadmin"), site.Request("Action=MainScreen")).exit_status, 0);
  Pause();
  EXPECT_TRUE(operation->Running());
  lock.Release();
  EXPECT_EQ(operation->Wait().exit_status, 0);
}

TEST(AdminLockTest, SimultaneousOperationsAllKeepTheirChanges) {
  CgiSite site(BigConfig());
  constexpr int kRounds = 6;
  std::vector<std::unique_ptr<CgiProcess>> running;
  {
    // Everyone starts while the lock is held, so they all queue up at once.
    HeldLock lock(site.config_path(), LOCK_EX);
    for (int i = 0; i < kRounds; ++i) {
      const std::string n = std::to_string(i);
      running.push_back(Start(site.Request(
          "Action=NTAccAddDo", FormBody({{"User", "acct" + n}, {"Pass", n}, {"Pass2", n}}))));
      running.push_back(
          Start(site.Request("Action=AuthAddDo", FormBody({{"Authority", "auth" + n}}))));
    }
    Pause();
  }
  for (auto& process : running) {
    const CgiResponse response = process->Wait();
    EXPECT_EQ(response.exit_status, 0) << response.err;
  }
  TreeSection root(site.config_path(), true);
  ASSERT_EQ(root.LoadFile(), 1);
  for (int i = 0; i < kRounds; ++i) {
    const std::string n = std::to_string(i);
    EXPECT_FALSE(root.GetSection(kNtAccounts)->GetSection("acct" + n)->IsNull()) << n;
    EXPECT_FALSE(root.GetSection(kAccounts)->GetSection("auth" + n)->IsNull()) << n;
  }
}

TEST(AdminLockTest, TheCommandLineToolAndThePagesKeepEachOthersChanges) {
  CgiSite site(BigConfig());
  constexpr int kRounds = 4;
  std::vector<std::unique_ptr<CgiProcess>> pages;
  std::vector<std::thread> tools;
  std::atomic<int> tool_failures{0};
  {
    HeldLock lock(site.config_path(), LOCK_EX);
    for (int i = 0; i < kRounds; ++i) {
      const std::string n = std::to_string(i);
      pages.push_back(Start(site.Request(
          "Action=NTAccAddDo", FormBody({{"User", "page" + n}, {"Pass", n}, {"Pass2", n}}))));
      const std::string command = "echo pw | '" + ProgramPath("vardcfg") + "' --config '" +
                                  site.config_path() + "' account add tool" + n + " >/dev/null";
      tools.emplace_back([command, &tool_failures] {
        if (std::system(command.c_str()) != 0) ++tool_failures;
      });
    }
    Pause();
  }
  for (std::thread& tool : tools) tool.join();
  for (auto& page : pages) EXPECT_EQ(page->Wait().exit_status, 0);
  EXPECT_EQ(tool_failures, 0);
  TreeSection root(site.config_path(), true);
  ASSERT_EQ(root.LoadFile(), 1);
  for (int i = 0; i < kRounds; ++i) {
    const std::string n = std::to_string(i);
    EXPECT_FALSE(root.GetSection(kNtAccounts)->GetSection("page" + n)->IsNull()) << n;
    EXPECT_FALSE(root.GetSection(kNtAccounts)->GetSection("tool" + n)->IsNull()) << n;
  }
}

}  // namespace
}  // namespace vard::test
