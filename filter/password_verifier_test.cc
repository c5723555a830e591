// PasswordVerifier: a verified password is answered from memory until its hash text changes or
// it ages out; a wrong one never is; many threads at once (run under ThreadSanitizer).
#include "filter/password_verifier.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "platform/env.h"
#include "schema/password_hash.h"

namespace vard {
namespace {

class SettableClockEnv : public Env {
 public:
  int64_t NowSeconds() override { return now_.load(); }
  void Set(int64_t now) { now_.store(now); }

 private:
  std::atomic<int64_t> now_{1000};
};

class PasswordVerifierTest : public ::testing::Test {
 protected:
  PasswordVerifierTest() : previous_(Env::SetForTesting(&clock_)) {}
  ~PasswordVerifierTest() override { Env::SetForTesting(previous_); }

  static std::string Hash(std::string_view clear) {
    std::string hash;
    EXPECT_TRUE(HashPassword(clear, &hash));
    return hash;
  }

  SettableClockEnv clock_;
  Env* previous_;
};

using Result = PasswordVerifier::Result;

TEST_F(PasswordVerifierTest, RemembersOnlyTheRightPasswordForTheExactHash) {
  PasswordVerifier verifier;
  const std::string one = Hash("one");
  EXPECT_EQ(Result::kMatch, verifier.Verify("Staff", "alice", one, "one"));
  EXPECT_EQ(Result::kMatch, verifier.Verify("Staff", "alice", one, "one"));
  EXPECT_EQ(1u, verifier.HashesComputed()) << "the second answer came from memory";

  EXPECT_EQ(Result::kMismatch, verifier.Verify("Staff", "alice", one, "two"));
  EXPECT_EQ(Result::kMismatch, verifier.Verify("Staff", "alice", one, "two"));
  EXPECT_EQ(3u, verifier.HashesComputed()) << "a wrong password is never remembered";
  // The same password of another user or authority is its own entry.
  EXPECT_EQ(Result::kMatch, verifier.Verify("Other", "alice", one, "one"));
  EXPECT_EQ(4u, verifier.HashesComputed());

  // A new hash text (the password was changed) ends the entry: the old password is refused.
  const std::string two = Hash("two");
  EXPECT_EQ(Result::kMismatch, verifier.Verify("Staff", "alice", two, "one"));
  EXPECT_EQ(Result::kMatch, verifier.Verify("Staff", "alice", two, "two"));
  EXPECT_EQ(6u, verifier.HashesComputed());
}

TEST_F(PasswordVerifierTest, AnEntryEndsAtItsAgeAndWhenTheClockGoesBack) {
  PasswordVerifier verifier(100, 300);
  const std::string hash = Hash("one");
  struct Step {
    int64_t now;
    uint64_t hashes_after;
  };
  // Verified at 1000: remembered until 1299, verified again at 1300 and at 999.
  for (const Step step :
       {Step{1000, 1}, Step{1299, 1}, Step{1300, 2}, Step{1301, 2}, Step{999, 3}}) {
    clock_.Set(step.now);
    EXPECT_EQ(Result::kMatch, verifier.Verify("Staff", "alice", hash, "one"));
    EXPECT_EQ(step.hashes_after, verifier.HashesComputed()) << "at " << step.now;
  }
}

TEST_F(PasswordVerifierTest, StaysWithinItsCapacity) {
  // One entry per shard: a second user in the shard pushes the first out, never a wrong answer.
  PasswordVerifier verifier(1, 300);
  const std::string hash = Hash("pw");
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(Result::kMatch, verifier.Verify("Staff", "user" + std::to_string(i), hash, "pw"));
  }
  EXPECT_EQ(Result::kMismatch, verifier.Verify("Staff", "user1", hash, "px"));
}

TEST_F(PasswordVerifierTest, ManyThreadsAgree) {
  PasswordVerifier verifier(8, 300);
  const std::string hash = Hash("pw");
  std::atomic<int> wrong_answers{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 12; ++i) {
        const std::string user = "user" + std::to_string((t + i) % 12);
        const bool right = i % 3 != 0;
        const Result result = verifier.Verify("Staff", user, hash, right ? "pw" : "no");
        // A busy refusal is no answer at all; a wrong answer either way is a fault.
        if (result != Result::kBusy && result != (right ? Result::kMatch : Result::kMismatch)) {
          ++wrong_answers;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(0, wrong_answers.load());
}

}  // namespace
}  // namespace vard
