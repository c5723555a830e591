// Many server threads deciding through vardfilt.so while the configuration file is rewritten
// again and again, as the administration program does: every decision sees one configuration
// whole, every reload leaves exactly one backup copy, records never tear and nothing deadlocks.
// Runs under ThreadSanitizer in the test command.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "schema/names.h"
#include "tests/filter_test_util.h"

namespace vard::test {
namespace {

constexpr int kRequestThreads = 8;
constexpr int kVersions = 40;

// Version `k` maps alice to the NT account "nt-k" with the password "pw-k"; no other version's
// account is in it, so a decision that mixed two versions could not map.
void MakeVersion(TestConfig& config, int k) {
  config.root().GetSection(kNtAccounts)->Remove("nt-" + std::to_string(k - 1));
  config.NtAccount("nt-" + std::to_string(k), "pw-" + std::to_string(k))
      .User("Staff", {.name = "alice", .password = "secret", .map_to = "nt-" + std::to_string(k)});
}

// Reads the version from credentials "nt-k" / "pw-k"; -1 when they are not one version's.
int VersionOf(const AuthResult& result) {
  if (result.user.rfind("nt-", 0) != 0 || result.password.rfind("pw-", 0) != 0) return -1;
  const std::string k = result.user.substr(3);
  return result.password.substr(3) == k ? std::atoi(k.c_str()) : -1;
}

class FilterConcurrencyTest : public FilterFixture {};

TEST_F(FilterConcurrencyTest, DecisionsReloadsAndRecordsStayWholeUnderLoad) {
  config_.root().GetSection(kNtAccounts)->Remove("webstaff");
  MakeVersion(config_, 0);
  const std::string backups = sandbox_.Path("backups");
  ASSERT_EQ(0, mkdir(backups.c_str(), 0700));
  ASSERT_TRUE(sandbox_.SetRegistry(kBackupDirValue, backups));
  Start();

  std::atomic<bool> stop{false};
  std::atomic<int> newest_seen{0};
  std::atomic<long> decisions{0};
  std::mutex failure_mutex;
  std::vector<std::string> failures;
  auto fail = [&](std::string what) {
    std::lock_guard<std::mutex> lock(failure_mutex);
    if (failures.size() < 10) failures.push_back(std::move(what));
  };

  std::vector<std::thread> threads;
  for (int t = 0; t < kRequestThreads; ++t) {
    threads.emplace_back([&] {
      HostRequest request(Alice());
      int last = 0;
      while (!stop.load()) {
        request.Reset();
        const DWORD status = library_->Authenticate(request);
        const AuthResult result = request.Result(status, errno);
        decisions.fetch_add(1);
        const int version = VersionOf(result);
        if (status != SF_STATUS_REQ_HANDLED_NOTIFICATION || version < 0) {
          fail("status " + std::to_string(status) + " user " + result.user + " password " +
               result.password);
          continue;
        }
        if (version < last) fail("went back from " + std::to_string(last));
        last = version;
        int newest = newest_seen.load();
        while (version > newest && !newest_seen.compare_exchange_weak(newest, version)) {
        }
      }
    });
  }

  // Many reloads fall within one second; each must keep its own copy.
  for (int k = 1; k <= kVersions && failures.empty(); ++k) {
    MakeVersion(config_, k);
    ASSERT_TRUE(config_.SaveTo(sandbox_.config_path()));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (newest_seen.load() < k && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(k, newest_seen.load()) << "version " << k << " was never used";
  }
  stop.store(true);
  for (std::thread& thread : threads) thread.join();
  for (const std::string& failure : failures) ADD_FAILURE() << failure;

  // One copy per replaced version: versions 0 to kVersions - 1, each once.
  std::vector<int> copied;
  for (const std::string& name : ListDirectory(backups)) {
    TreeSection copy(backups + "/" + name, true);
    ASSERT_EQ(1, copy.LoadFile()) << name;
    for (int k = 0; k <= kVersions + 1; ++k) {
      if (!copy.GetSection(kNtAccounts)->GetSection("nt-" + std::to_string(k))->IsNull()) {
        copied.push_back(k);
      }
    }
  }
  std::sort(copied.begin(), copied.end());
  std::vector<int> expected(kVersions);
  for (int k = 0; k < kVersions; ++k) expected[k] = k;
  EXPECT_EQ(expected, copied);

  const std::vector<std::string> lines = LogLines();
  EXPECT_EQ(decisions.load(), static_cast<long>(lines.size()));
  const std::string tail =
      ", OK Authenticated (UserName UserDB), alice, Staff, /index.htm, server1";
  for (const std::string& line : lines) {
    ASSERT_TRUE(line.rfind("0, ", 0) == 0 && line.size() > tail.size() &&
                line.compare(line.size() - tail.size(), tail.size(), tail) == 0 &&
                std::count(line.begin(), line.end(), ',') == 7)
        << line;
  }

  // No hold was left behind: one more change is still picked up at once.
  MakeVersion(config_, kVersions + 1);
  ASSERT_TRUE(config_.SaveChangeTo(sandbox_.config_path()));
  std::promise<AuthResult> last;
  std::thread([&] { last.set_value(Send(Alice())); }).detach();
  std::future<AuthResult> result = last.get_future();
  if (result.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    ADD_FAILURE() << "the filter is deadlocked";
    std::_Exit(1);
  }
  EXPECT_EQ(kVersions + 1, VersionOf(result.get()));
}

}  // namespace
}  // namespace vard::test
