#include "filter/backup_name.h"

#include <string>

#include "gtest/gtest.h"

namespace vard {
namespace {

CalendarTime At(int year, int month, int day, int hour, int minute, int second) {
  CalendarTime t;
  t.year = year;
  t.month = month;
  t.day = day;
  t.hour = hour;
  t.minute = minute;
  t.second = second;
  return t;
}

TEST(BackupNameTest, PadsWithSpacesAndJoinsWithOneSeparator) {
  char name[kBackupNameCapacity];
  ASSERT_TRUE(FormatBackupName("/var/cfgbak", At(2001, 3, 7, 14, 5, 9), name, sizeof name));
  EXPECT_STREQ("/var/cfgbak/Vardfilt-2001. 3. 7-14. 5. 9.cfg", name);
  ASSERT_TRUE(FormatBackupName("/var/cfgbak/", At(2024, 12, 31, 0, 0, 0), name, sizeof name));
  EXPECT_STREQ("/var/cfgbak/Vardfilt-2024.12.31- 0. 0. 0.cfg", name);
}

TEST(BackupNameTest, RefusesANameThatWouldBeCut) {
  // "/Vardfilt-2001. 3. 7-14. 5. 9.cfg" is 33 characters.
  const CalendarTime when = At(2001, 3, 7, 14, 5, 9);
  char name[kBackupNameCapacity];
  const std::string fits(kBackupNameCapacity - 1 - 33, 'd');
  ASSERT_TRUE(FormatBackupName(fits, when, name, sizeof name));
  EXPECT_EQ(kBackupNameCapacity - 1, std::string(name).size());
  EXPECT_FALSE(FormatBackupName(fits + "d", when, name, sizeof name));
  EXPECT_FALSE(FormatBackupName(std::string(1000, 'd'), when, name, sizeof name));
}

}  // namespace
}  // namespace vard
