#include "filter/event_log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "gtest/gtest.h"

namespace vard {
namespace {

// A clock and calendar fixed at one local instant, with a time of day text of the test's choice.
class FixedTimeEnv : public Env {
 public:
  explicit FixedTimeEnv(const char* time_of_day) : time_of_day_(time_of_day) {}
  size_t FormatLocalTimeOfDay(int64_t, char* buf, size_t cap) override {
    const size_t n = std::string(time_of_day_).size();
    if (cap <= n) return 0;
    std::copy(time_of_day_, time_of_day_ + n + 1, buf);
    return n;
  }
  bool LocalTime(int64_t, CalendarTime* out) override {
    *out = CalendarTime{2001, 3, 7, 14, 5, 9, 3};
    return true;
  }

 private:
  const char* time_of_day_;
};

TEST(EventLogTest, TimeOfDayThenSpacePaddedDate) {
  FixedTimeEnv env("2:05 PM");
  char when[kRecordTimeCapacity];
  EXPECT_EQ(19u, FormatRecordTime(env, 0, when, sizeof when));
  EXPECT_STREQ("2:05 PM,  3/ 7/2001", when);
  // Cut to the buffer, never past it.
  char small[8];
  EXPECT_EQ(7u, FormatRecordTime(env, 0, small, sizeof small));
  EXPECT_STREQ("2:05 PM", small);
}

class AppendRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("vardlog-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(AppendRecordTest, CreatesThenAppends) {
  const std::string path = (dir_ / "auth.log").string();
  // The log names users and sites: not for every local user, whatever the umask.
  const mode_t saved_mask = umask(0);
  ASSERT_TRUE(AppendRecord(path.c_str(), "first\n"));
  umask(saved_mask);
  struct stat st {};
  ASSERT_EQ(0, stat(path.c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 07777);
  ASSERT_TRUE(AppendRecord(path.c_str(), "second\n"));
  std::ifstream in(path);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ("first\nsecond\n", all);
}

TEST_F(AppendRecordTest, FailsQuietlyWithoutAUsablePath) {
  EXPECT_FALSE(AppendRecord("", "x\n"));
  EXPECT_FALSE(AppendRecord(nullptr, "x\n"));
  EXPECT_FALSE(AppendRecord((dir_ / "missing" / "auth.log").c_str(), "x\n"));
  EXPECT_FALSE(AppendRecord(dir_.c_str(), "x\n"));
}

}  // namespace
}  // namespace vard
