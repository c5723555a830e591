// vardadmin and vardcfg processes running at the same time: operations serialise on the lock
// beside the configuration, so no change is lost, and read-only pages wait only for operations.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <cstdlib>
#include <memory>
#include <random>
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
std::string BigConfig(int users = 20000) {
  std::string config = "{ NTACCOUNTS:\n} NTACCOUNTS;\n{ ACCOUNTS:\n    { Filler:\n";
  for (int i = 0; i < users; ++i) {
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

// Saves killed (SIGKILL) at random moments leave the old or the new configuration whole, and
// the next save leaves no temporary file of theirs behind.
TEST(AdminLockTest, SavesKilledAtRandomMomentsLeaveAWholeFileAndNoTemporary) {
  CgiSite site(BigConfig(100000));
  auto bind = [&](int n) {
    return site.Request("Action=BindAddDo",
                        "Host=host" + std::to_string(n) + "&Port=80&Authority=Filler");
  };
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(RunCgi(ProgramPath("vardadmin"), bind(0)).exit_status, 0);
  const long save_ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                             std::chrono::steady_clock::now() - started)
                                             .count());
  std::mt19937 random(static_cast<unsigned>(save_ms));
  std::uniform_int_distribution<long> moment(0, save_ms + save_ms / 5);
  int whole_new = 0;
  for (int n = 1; n <= 20; ++n) {
    const std::string old = site.Config();
    const long kill_after = moment(random);
    SCOPED_TRACE("try " + std::to_string(n) + " killed after " + std::to_string(kill_after));
    CgiProcess(ProgramPath("vardadmin"), bind(n)).WaitMs(kill_after);
    const std::string now = site.Config();
    const std::string line = "        (string)host" + std::to_string(n) + "=Filler\n";
    if (now != old) {
      EXPECT_EQ(now.size(), old.size() + line.size());
      EXPECT_NE(now.find(line), std::string::npos);
      ++whole_new;
    }
  }
  // What a writer killed on a file system without unnamed files leaves: a named temporary file.
  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  ASSERT_EQ(waitpid(dead, nullptr, 0), dead);
  std::ofstream(site.dir().File(".config.cfg.tmp" + std::to_string(dead) + ".0123456789abcdef"))
      << "half";
  ASSERT_EQ(RunCgi(ProgramPath("vardadmin"), bind(21)).exit_status, 0);
  EXPECT_NE(site.Config().find("(string)host21=Filler"), std::string::npos);
  for (const auto& entry : std::filesystem::directory_iterator(site.dir().path())) {
    EXPECT_EQ(entry.path().filename().string().find(".config.cfg.tmp"), std::string::npos)
        << entry.path();
  }
  RecordProperty("saves_finished_before_the_kill", whole_new);
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
