#include "platform/env.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <string>

namespace vard {
namespace {

class TimeZoneTest : public ::testing::Test {
 protected:
  void UseZone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
  }
  void TearDown() override { UseZone("UTC0"); }
};

TEST_F(TimeZoneTest, LocalMidnightCarriesOverLikeMktime) {
  UseZone("UTC0");
  Env* env = Env::Default();
  int64_t t = 0;
  ASSERT_TRUE(env->LocalMidnightToSeconds(2001, 12, 31, &t));
  EXPECT_EQ(t, 1009756800);
  ASSERT_TRUE(env->LocalMidnightToSeconds(2001, 13, 1, &t));  // January 2002
  EXPECT_EQ(t, 1009843200);
  ASSERT_TRUE(env->LocalMidnightToSeconds(2001, 12, 32, &t));
  EXPECT_EQ(t, 1009843200);
  ASSERT_TRUE(env->LocalMidnightToSeconds(2002, 1, 0, &t));  // last day of December 2001
  EXPECT_EQ(t, 1009756800);
  ASSERT_TRUE(env->LocalMidnightToSeconds(2001, 31, 12, &t));  // month 31: July 2003
  EXPECT_EQ(t, 1057968000);
  ASSERT_TRUE(env->LocalMidnightToSeconds(2040, 1, 1, &t));  // beyond 32 bits: caller decides
  EXPECT_GT(t, int64_t{INT32_MAX});
}

TEST_F(TimeZoneTest, LocalMidnightFollowsDaylightSaving) {
  UseZone("EST5EDT,M3.2.0,M11.1.0");
  int64_t winter = 0;
  int64_t summer = 0;
  ASSERT_TRUE(Env::Default()->LocalMidnightToSeconds(2001, 1, 15, &winter));
  ASSERT_TRUE(Env::Default()->LocalMidnightToSeconds(2001, 7, 1, &summer));
  EXPECT_EQ(winter, 979534800);  // 05:00 UTC
  EXPECT_EQ(summer, 993960000);  // 04:00 UTC
}

TEST_F(TimeZoneTest, AbsurdDatesFailWithoutOverflow) {
  UseZone("UTC0");
  int64_t t = 42;
  EXPECT_FALSE(Env::Default()->LocalMidnightToSeconds(INT_MIN, INT_MIN, INT_MIN, &t));
  EXPECT_FALSE(Env::Default()->LocalMidnightToSeconds(INT_MAX, INT_MAX, INT_MAX, &t));
  EXPECT_EQ(t, 42);
}

TEST_F(TimeZoneTest, CalendarBreakdown) {
  UseZone("CET-1CEST,M3.5.0,M10.5.0/3");
  CalendarTime utc;
  CalendarTime local;
  ASSERT_TRUE(Env::Default()->UtcTime(983973909, &utc));  // 2001-03-07 14:05:09 UTC
  ASSERT_TRUE(Env::Default()->LocalTime(983973909, &local));
  EXPECT_EQ(utc.year, 2001);
  EXPECT_EQ(utc.month, 3);
  EXPECT_EQ(utc.day, 7);
  EXPECT_EQ(utc.hour, 14);
  EXPECT_EQ(utc.minute, 5);
  EXPECT_EQ(utc.second, 9);
  EXPECT_EQ(utc.weekday, 3);
  EXPECT_EQ(local.hour, 15);
  EXPECT_EQ(local.minute, 5);
}

TEST_F(TimeZoneTest, TimeOfDayHasNoSecondsNoCommaAndFitsTheBuffer) {
  UseZone("UTC0");
  char buf[64];
  const size_t n = Env::Default()->FormatLocalTimeOfDay(983973909, buf, sizeof buf);
  ASSERT_GT(n, 0u);
  const std::string text(buf);
  EXPECT_EQ(text.size(), n);
  EXPECT_NE(text.find("05"), std::string::npos) << text;
  EXPECT_EQ(text.find("09"), std::string::npos) << text;
  EXPECT_EQ(text.find_first_of(",\r\n"), std::string::npos) << text;
  char tiny[3] = {'x', 'x', 'x'};
  EXPECT_EQ(Env::Default()->FormatLocalTimeOfDay(983973909, tiny, sizeof tiny), 0u);
  EXPECT_EQ(tiny[0], '\0');
}

TEST(EnvTest, FileVersionHasNanosecondsAndTheFilesIdentity) {
  char path[] = "/tmp/vard_env_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  struct timespec times[2] = {{1000000000, 123456789}, {1000000000, 987654321}};
  ASSERT_EQ(utimensat(AT_FDCWD, path, times, 0), 0);
  struct stat st;
  ASSERT_EQ(stat(path, &st), 0);
  FileVersion version;
  EXPECT_TRUE(Env::Default()->GetFileVersion(path, &version));
  EXPECT_EQ(version.write_time_ns, int64_t{1000000000} * 1000000000 + 987654321);
  EXPECT_EQ(version.inode, static_cast<uint64_t>(st.st_ino));
  EXPECT_EQ(version.size, 0);
  unlink(path);
  version.size = 7;
  EXPECT_FALSE(Env::Default()->GetFileVersion(path, &version));
  EXPECT_FALSE(Env::Default()->GetFileVersion(nullptr, &version));
  EXPECT_EQ(version.size, 7);
}

TEST(EnvTest, TestsCanInstallAndRemoveAFakeClock) {
  struct FakeEnv : Env {
    int64_t NowSeconds() override { return 12345; }
  } fake;
  Env* real = Env::Default();
  EXPECT_EQ(Env::SetForTesting(&fake), real);
  EXPECT_EQ(Env::Default()->NowSeconds(), 12345);
  EXPECT_EQ(Env::SetForTesting(nullptr), &fake);
  EXPECT_EQ(Env::Default(), real);
  EXPECT_GT(Env::Default()->NowSeconds(), 1500000000);
}

// The whole file comes back whatever its size says and however short the reads are; one byte over
// the limit is refused. The fake's file grew after its size was taken, or lies about it (as /proc
// files report 0), and gives at most 3 bytes or 200 000 bytes a read.
TEST(EnvTest, ReadFileReadsTheWholeFileUpToItsLimit) {
  struct ShortReads : Env {
    off_t reported = 0;
    size_t most = 0;
    int FileStat(int fd, struct stat* st) override {
      const int result = Env::FileStat(fd, st);
      st->st_size = reported;
      return result;
    }
    ssize_t Read(int fd, void* buf, size_t size) override {
      return Env::Read(fd, buf, size < most ? size : most);
    }
  } fake;
  char path[] = "/tmp/vard_env_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  std::string text(150000, 'x');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
  ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(fd);
  Env* real = Env::SetForTesting(&fake);
  for (const off_t reported : {off_t{0}, off_t{1}, off_t{70000}, off_t{150000}}) {
    for (const size_t most : {size_t{3}, size_t{200000}}) {
      fake.reported = reported;
      fake.most = most;
      std::string out = "old";
      EXPECT_EQ(fake.ReadFile(path, text.size(), &out), 1) << reported << " " << most;
      EXPECT_TRUE(out == text) << reported << " " << most << " " << out.size();
      EXPECT_EQ(fake.ReadFile(path, text.size() - 1, &out), 0) << reported << " " << most;
      EXPECT_EQ(errno, EFBIG);
    }
  }
  Env::SetForTesting(real);
  unlink(path);
}

}  // namespace
}  // namespace vard
