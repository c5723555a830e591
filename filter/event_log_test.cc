#include "filter/event_log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

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

TEST(EventLogTest, RecordHasEightFieldsAndEmptyParametersStayEmpty) {
  EXPECT_EQ(
      "0, 2:05 PM,  3/ 7/2001, OK Authenticated (UserName UserDB), alice, Staff, /default.htm, "
      "server1\n",
      FormatEventRecord(0, "2:05 PM,  3/ 7/2001", "OK Authenticated (UserName UserDB)", "alice",
                        "Staff", "/default.htm", "server1"));
  EXPECT_EQ("2, 14:05,  3/ 7/2001, Filter disabled, , , /, s\n",
            FormatEventRecord(2, "14:05,  3/ 7/2001", "Filter disabled", "", "", "/", "s"));
}

TEST(EventLogTest, LineBreaksInTextsCannotForgeRecords) {
  const std::string line = FormatEventRecord(3, "14:05,  3/ 7/2001", "User not found",
                                             "x\r\n0, 14:05,  3/ 7/2001, OK", "a,b", "/\n", "s\r");
  EXPECT_EQ("3, 14:05,  3/ 7/2001, User not found, x  0, 14:05,  3/ 7/2001, OK, a,b, / , s \n",
            line);
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
  ASSERT_TRUE(AppendRecord(path.c_str(), "first\n"));
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

TEST_F(AppendRecordTest, ConcurrentRecordsStayWhole) {
  const std::string path = (dir_ / "auth.log").string();
  constexpr int kThreads = 4;
  constexpr int kRecords = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&path, t] {
      const std::string record = std::string(300, static_cast<char>('a' + t)) + "\n";
      for (int i = 0; i < kRecords; ++i) AppendRecord(path.c_str(), record);
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::ifstream in(path);
  int lines = 0;
  for (std::string line; std::getline(in, line); ++lines) {
    ASSERT_EQ(300u, line.size());
    ASSERT_EQ(std::string(300, line[0]), line);
  }
  EXPECT_EQ(kThreads * kRecords, lines);
}

}  // namespace
}  // namespace vard
