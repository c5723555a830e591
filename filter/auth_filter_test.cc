// AuthFilter in the test's own process, where the clock can be set and the cache's state read:
// expiration at the very second, the 32-bit limit of times, the hold count, and a reload beside
// running and arriving requests, none of which waits for it (the one that noticed the change only
// for a bounded time).
#include "filter/auth_filter.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "filter/event_log.h"
#include "gtest/gtest.h"
#include "platform/env.h"
#include "schema/names.h"
#include "tests/filter_host.h"
#include "tests/filter_test_util.h"

namespace vard {
namespace {

using test::AuthResult;
using test::HostRequest;
using test::ScopedEnv;
using test::ScriptedRequest;

// The real system with a clock the test sets.
class SettableClockEnv : public Env {
 public:
  int64_t NowSeconds() override { return now_.load(); }
  void Set(int64_t now) { now_.store(now); }

 private:
  std::atomic<int64_t> now_{0};
};

int64_t LocalMidnight(int year, int month, int day) {
  int64_t seconds = 0;
  EXPECT_TRUE(Env::Default()->LocalMidnightToSeconds(year, month, day, &seconds));
  return seconds;
}

class AuthFilterTest : public test::FilterFixture {
 protected:
  // The credentials after `filter` decided `scripted` (what the host would see of a mapping).
  AuthResult Decide(AuthFilter& filter, const ScriptedRequest& scripted) {
    HostRequest request(scripted);
    filter.HttpFilterProc(request.context(), SF_NOTIFY_AUTHENTICATION, request.credentials());
    return request.Result(0, 0);
  }

  void SaveAliceExpiring(const std::string& date) {
    config_.User(
        "Staff",
        {.name = "alice", .password = "secret", .map_to = "webstaff", .expire_date = date});
    ASSERT_TRUE(config_.SaveChangeTo(sandbox_.config_path()));
  }

  // Whether alice is let in at `now`: mapped (true) or refused as expired (false).
  bool AcceptedAt(AuthFilter& filter, int64_t now) {
    clock_.Set(now);
    const AuthResult result = Decide(filter, Alice());
    if (result.user == "webstaff") return true;
    // The record is stamped with the test's clock, so only its event is checked.
    const std::string line = LogLines().back();
    EXPECT_EQ(0u, line.rfind("6, ", 0)) << line;
    EXPECT_NE(std::string::npos, line.find(", Account expired (UserName UserDB), alice, Staff, "));
    return false;
  }

  SettableClockEnv clock_;
};

TEST_F(AuthFilterTest, AccountWorksUntilTheSecondOfItsMidnight) {
  ScopedEnv env(&clock_);
  SaveAliceExpiring("7/1/2030");
  AuthFilter filter;
  const int64_t midnight = LocalMidnight(2030, 7, 1);
  EXPECT_TRUE(AcceptedAt(filter, midnight - 86400));
  EXPECT_TRUE(AcceptedAt(filter, midnight));
  EXPECT_FALSE(AcceptedAt(filter, midnight + 1));

  SaveAliceExpiring("12/31/2037");
  EXPECT_TRUE(AcceptedAt(filter, LocalMidnight(2037, 12, 31)));
  EXPECT_FALSE(AcceptedAt(filter, LocalMidnight(2037, 12, 31) + 1));
}

TEST_F(AuthFilterTest, SurplusMonthsAndDaysCarryIntoLaterDates) {
  ScopedEnv env(&clock_);
  // Month 31 of 2001 is July 2003.
  SaveAliceExpiring("31/12/2001");
  AuthFilter filter;
  const int64_t midnight = LocalMidnight(2003, 7, 12);
  EXPECT_TRUE(AcceptedAt(filter, midnight));
  EXPECT_FALSE(AcceptedAt(filter, midnight + 1));
  // Day 32 of December 2037 is 1 January 2038, still a 32-bit time.
  SaveAliceExpiring("12/32/2037");
  EXPECT_TRUE(AcceptedAt(filter, LocalMidnight(2038, 1, 1)));
  EXPECT_FALSE(AcceptedAt(filter, LocalMidnight(2038, 1, 1) + 1));
}

TEST_F(AuthFilterTest, InstantsOutsideThirtyTwoBitTimesHavePassed) {
  ScopedEnv env(&clock_);
  // February 2038 lies beyond 2038-01-19 03:14:07 UTC; the year as typed passes the 2037 test.
  SaveAliceExpiring("14/1/2037");
  AuthFilter filter;
  EXPECT_FALSE(AcceptedAt(filter, LocalMidnight(2030, 1, 1)));
  // The year 5, before 1970.
  SaveAliceExpiring("1/1/05");
  EXPECT_FALSE(AcceptedAt(filter, 0));
}

TEST_F(AuthFilterTest, RecordsCarryTheTimeOfTheirOwnSecond) {
  ScopedEnv env(&clock_);
  ASSERT_TRUE(config_.SaveTo(sandbox_.config_path()));
  AuthFilter filter;
  const int64_t noon = LocalMidnight(2030, 7, 1) + 12 * 3600;
  // Each record's time and date are compared with ones formed afresh for its second.
  for (const int64_t now : {noon, noon, noon + 60, noon + 86400, noon}) {
    clock_.Set(now);
    Decide(filter, Alice());
    char expected[kRecordTimeCapacity];
    FormatRecordTime(clock_, now, expected, sizeof expected);
    EXPECT_EQ(0u, LogLines().back().rfind("0, " + std::string(expected) + ", OK ", 0))
        << LogLines().back();
  }
}

TEST_F(AuthFilterTest, HoldsReturnToZero) {
  ASSERT_TRUE(config_.SaveTo(sandbox_.config_path()));
  AuthFilter filter;
  ASSERT_TRUE(filter.IsLoaded());
  Decide(filter, Alice());
  Decide(filter, Alice("wrong"));
  Decide(filter, ScriptedRequest::For("server9", "80", "alice", "secret"));
  EXPECT_EQ(0, filter.Holds());
  {
    const AuthFilter::ConfigHold first = filter.AcquireConfig();
    const AuthFilter::ConfigHold second = filter.AcquireConfig();
    EXPECT_EQ(2, filter.Holds());
  }
  EXPECT_EQ(0, filter.Holds());
}

// Polls `done` for up to ten seconds; the waits are for threads to get somewhere, not timing.
template <typename Predicate>
bool Eventually(Predicate done) {
  for (int i = 0; i < 10000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}

// The password of the mapped account in a held configuration: which version it is.
std::string VersionOf(const AuthFilter::ConfigHold& config) {
  FilterConfig::Account account;
  return config->FindAccount("webstaff", &account) ? std::string(account.password) : "";
}

TEST_F(AuthFilterTest, RunningRequestKeepsItsConfigurationWhileNewRequestsUseTheNewOne) {
  const std::string backups = sandbox_.Path("backups");
  ASSERT_EQ(0, mkdir(backups.c_str(), 0700));
  ASSERT_TRUE(sandbox_.SetRegistry(kBackupDirValue, backups));
  config_.NtAccount("webstaff", "v1");
  ASSERT_TRUE(config_.SaveTo(sandbox_.config_path()));
  AuthFilter filter;

  // A running request holds the configuration while the file changes.
  std::optional<AuthFilter::ConfigHold> running(filter.AcquireConfig());
  config_.NtAccount("webstaff", "v2");
  ASSERT_TRUE(config_.SaveChangeTo(sandbox_.config_path()));

  AuthResult noticed;
  std::thread noticer([&] { noticed = Decide(filter, Alice()); });
  // Claimed by the noticer; this thread, holding a configuration, must not claim it itself.
  ASSERT_TRUE(Eventually([&] { return filter.IsReloading(); }));
  // Requests arriving now are answered with the new configuration at once ...
  ASSERT_TRUE(Eventually([&] { return Decide(filter, Alice()).password == "v2"; }));
  // ... while the running one still reads the old one whole, and the reload, which frees it and
  // copies it, waits for that request alone.
  EXPECT_EQ("v1", VersionOf(*running));
  EXPECT_TRUE(filter.IsReloading());
  EXPECT_TRUE(test::ListDirectory(backups).empty());

  running.reset();
  noticer.join();
  EXPECT_EQ("v2", noticed.password);
  EXPECT_EQ(0, filter.Holds());
  EXPECT_FALSE(filter.IsReloading());
  const std::vector<std::string> copies = test::ListDirectory(backups);
  ASSERT_EQ(1u, copies.size());
  EXPECT_NE(std::string::npos, test::ReadWholeFile(backups + "/" + copies[0]).find("v1"));
}

// The real system, except that a reload can be held halfway: after it has claimed the reload and
// before it loads the new tree, where it reads the versions of its sources. The first thread to
// read a version at that stage is held until Release; later readers there are only counted.
class ReloadHoldingEnv : public Env {
 public:
  void Watch(const AuthFilter* filter) { filter_.store(filter); }

  bool GetFileVersion(const char* path, FileVersion* version) override {
    const AuthFilter* filter = filter_.load();
    if (filter != nullptr && filter->IsReloading()) {
      std::unique_lock<std::mutex> lock(mu_);
      if (!held_) {
        held_ = true;
        released_.wait(lock, [this] { return release_; });
      } else {
        ++checks_while_held_;
      }
    }
    return Env::GetFileVersion(path, version);
  }

  bool Held() {
    std::lock_guard<std::mutex> lock(mu_);
    return held_;
  }
  int ChecksWhileHeld() {
    std::lock_guard<std::mutex> lock(mu_);
    return checks_while_held_;
  }
  void Release() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      release_ = true;
    }
    released_.notify_all();
  }

 private:
  std::atomic<const AuthFilter*> filter_{nullptr};
  std::mutex mu_;
  std::condition_variable released_;
  bool held_ = false;
  bool release_ = false;
  int checks_while_held_ = 0;
};

TEST_F(AuthFilterTest, RequestsArrivingDuringALoadDecideWithTheConfigurationInForce) {
  ReloadHoldingEnv env;
  ScopedEnv installed(&env);
  config_.NtAccount("webstaff", "v1");
  ASSERT_TRUE(config_.SaveTo(sandbox_.config_path()));
  AuthFilter filter;
  env.Watch(&filter);
  config_.NtAccount("webstaff", "v2");
  ASSERT_TRUE(config_.SaveTo(sandbox_.config_path()));

  AuthResult noticed;
  std::thread noticer([&] { noticed = Decide(filter, Alice()); });
  ASSERT_TRUE(Eventually([&] { return env.Held(); }));

  // They finish while the loader is held, on the old configuration, without even examining the
  // file: the reload under way is the one that will.
  std::vector<AuthResult> arrived(3);
  std::vector<std::thread> arriving;
  for (AuthResult& result : arrived) {
    arriving.emplace_back([&filter, &result, this] { result = Decide(filter, Alice()); });
  }
  for (std::thread& thread : arriving) thread.join();
  for (const AuthResult& result : arrived) {
    EXPECT_EQ("webstaff", result.user);
    EXPECT_EQ("v1", result.password);
  }
  EXPECT_EQ(0, env.ChecksWhileHeld());

  env.Release();
  noticer.join();
  EXPECT_EQ("v2", noticed.password);
  EXPECT_EQ("v2", Decide(filter, Alice()).password);
  EXPECT_EQ(0, filter.Holds());
}

// The load is held for good: the noticer of a small file gives up waiting for it, the noticer of
// a file too large to wait for does not wait, and both decide with what is in force.
TEST_F(AuthFilterTest, TheRequestThatNoticedAChangeWaitsForItsLoadOnlySoLong) {
  for (const bool large : {false, true}) {
    SCOPED_TRACE(large ? "large" : "small");
    ReloadHoldingEnv env;
    ScopedEnv installed(&env);
    for (int i = 0; large && i * 400 <= kClaimWaitMaxBytes; ++i) {
      config_.NtAccount("padding" + std::to_string(i), std::string(400, 'p'));
    }
    config_.NtAccount("webstaff", "v1");
    ASSERT_TRUE(config_.SaveTo(sandbox_.config_path()));
    AuthFilter filter;
    env.Watch(&filter);
    config_.NtAccount("webstaff", "v2");
    ASSERT_TRUE(config_.SaveTo(sandbox_.config_path()));

    EXPECT_EQ("v1", Decide(filter, Alice()).password);
    EXPECT_TRUE(Eventually([&] { return env.Held(); }));
    EXPECT_TRUE(filter.IsReloading());
    env.Release();
    EXPECT_TRUE(Eventually([&] { return !filter.IsReloading(); }));
    EXPECT_EQ("v2", Decide(filter, Alice()).password);
  }
}

}  // namespace
}  // namespace vard
