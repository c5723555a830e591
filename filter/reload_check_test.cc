// The filter's reload on a farm, in the test's own process where the monotonic clock and the
// pauses are the test's: a reload check interval lets a save wait until the interval passed, and
// a file that is between two names for a moment is read on a later try.
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "filter/auth_filter.h"
#include "filter/reload_gate.h"
#include "gtest/gtest.h"
#include "platform/env.h"
#include "platform/settings_key.h"
#include "platform/transient_retry.h"
#include "schema/names.h"
#include "tests/filter_host.h"
#include "tests/filter_test_util.h"

namespace vard {
namespace {

using test::HostRequest;
using test::ScopedEnv;

// The real system with a monotonic clock the test sets and pauses that run `on_sleep` instead of
// waiting.
class FarmEnv : public Env {
 public:
  int64_t NowMonotonicMs() override { return now_ms.load(); }
  void SleepMs(int) override {
    if (sleeps.fetch_add(1) == 0 && on_sleep) on_sleep();
  }
  std::atomic<int64_t> now_ms{0};
  std::atomic<int> sleeps{0};
  void (*on_sleep)() = nullptr;
};

class ReloadCheckTest : public test::FilterFixture {
 protected:
  void SaveVersion(std::string_view version, const std::string& path) {
    config_.NtAccount("webstaff", version);
    ASSERT_TRUE(config_.SaveChangeTo(path));
  }
  // The version of the configuration the filter decides with now (the mapped account's password).
  std::string VersionInUse(AuthFilter& filter) {
    HostRequest request(Alice());
    filter.HttpFilterProc(request.context(), SF_NOTIFY_AUTHENTICATION, request.credentials());
    return request.Result(0, 0).password;
  }

  FarmEnv env_;
};

TEST_F(ReloadCheckTest, ASaveWaitsForTheIntervalAndOneRequestExaminesTheFile) {
  ScopedEnv scoped(&env_);
  ASSERT_TRUE(sandbox_.SetRegistry(kReloadCheckIntervalValue, "1000"));
  SaveVersion("v1", sandbox_.config_path());
  AuthFilter filter;
  env_.now_ms = 5000;
  EXPECT_EQ(VersionInUse(filter), "v1");  // examines: due from the start
  SaveVersion("v2", sandbox_.config_path());
  env_.now_ms = 5999;
  EXPECT_EQ(VersionInUse(filter), "v1");
  env_.now_ms = 6000;
  EXPECT_EQ(VersionInUse(filter), "v2");
}

TEST(ReloadGateTest, OneCallerPerIntervalAndATypingErrorMeansEveryRequest) {
  FarmEnv env;
  ScopedEnv scoped(&env);
  ReloadGate gate;
  EXPECT_TRUE(gate.Due());
  EXPECT_TRUE(gate.Due());
  gate.SetIntervalMs(1000);
  env.now_ms = 100;
  EXPECT_TRUE(gate.Due());
  EXPECT_FALSE(gate.Due());
  env.now_ms = 1099;
  EXPECT_FALSE(gate.Due());
  env.now_ms = 1100;
  EXPECT_TRUE(gate.Due());
  EXPECT_FALSE(gate.Due());

  test::FilterSandbox sandbox;
  for (const char* text : {"", "-5", "1e3", "60001", "2000"}) {
    SCOPED_TRACE(text);
    ASSERT_TRUE(sandbox.SetRegistry(kReloadCheckIntervalValue, text));
    gate.SetIntervalFrom(SettingsKey(Hive::kLocalMachine, kRegistryKey));
    EXPECT_TRUE(gate.Due());
    EXPECT_EQ(gate.Due(), std::string_view(text) != "2000");
  }
}

std::string g_staged;   // a file that another server's save is about to rename into place
std::string g_landing;  // where it lands

TEST_F(ReloadCheckTest, AFileBetweenTwoNamesIsReadOnALaterTryAndAMissingOneKeepsTheOld) {
  ScopedEnv scoped(&env_);
  SaveVersion("v1", sandbox_.config_path());
  AuthFilter filter;
  EXPECT_EQ(VersionInUse(filter), "v1");

  // The store names a file that appears only while the reload pauses between tries.
  g_staged = sandbox_.Path("staged.cfg");
  g_landing = sandbox_.Path("landing.cfg");
  SaveVersion("v2", g_staged);
  ASSERT_TRUE(sandbox_.SetRegistry(kConfigFileValue, g_landing));
  env_.on_sleep = [] { std::rename(g_staged.c_str(), g_landing.c_str()); };
  SaveVersion("v1b", sandbox_.config_path());
  EXPECT_EQ(VersionInUse(filter), "v2");
  EXPECT_EQ(env_.sleeps.load(), 1);

  // One that never appears: every try is made, then the configuration in force stays.
  env_.on_sleep = nullptr;
  env_.sleeps = 0;
  const std::string never = sandbox_.Path("never.cfg");
  ASSERT_TRUE(sandbox_.SetRegistry(kConfigFileValue, never));
  SaveVersion("v3", g_landing);
  EXPECT_EQ(VersionInUse(filter), "v2");
  EXPECT_GE(env_.sleeps.load(), kTransientTries - 1);
  const std::vector<std::string> lines = LogLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_TRUE(test::IsRecord(lines[lines.size() - 2], Event::kReloadFailed, never,
                             "No such file or directory", "", ""));
}

}  // namespace
}  // namespace vard
