#include "schema/event_record.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace vard {
namespace {

std::vector<std::string> Split(std::string_view line, int max = 12) {
  std::string_view fields[12];
  const int count = SplitEventRecord(line, fields, max);
  return std::vector<std::string>(fields, fields + count);
}

// What the filter writes, the viewer reads back field for field; line breaks in a visitor's text
// become spaces and cannot start a record of their own, commas shift the later fields.
TEST(EventRecordTest, WrittenRecordsReadBackFieldForField) {
  const std::string record =
      FormatEventRecord(3, "14:05,  3/ 7/2001", "User not found", "x\r\n0", "", "/\n", "s\r");
  EXPECT_EQ(record, "3, 14:05,  3/ 7/2001, User not found, x  0, , / , s \n");
  EXPECT_EQ(Split(record, kEventRecordFields),
            (std::vector<std::string>{"3", " 14:05", "  3/ 7/2001", " User not found", " x  0", " ",
                                      " / ", " s "}));
  EXPECT_EQ(Split(FormatEventRecord(0, "t, d", "D", "a,b", "p", "r", "s")).size(), 10u);
  EXPECT_EQ(Split(""), (std::vector<std::string>{""}));
  EXPECT_EQ(Split("a,b\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(Split("0\n"), (std::vector<std::string>{"0", ""}));
}

TEST(EventRecordTest, FilterByTypeAndFirstDay) {
  const std::string record = FormatEventRecord(4, "2:05 PM,  3/ 7/2001", "D", "u", "a", "/", "s");
  EventRecordFilter filter;
  EXPECT_TRUE(filter.Passes(record));
  filter.type = 4;
  EXPECT_TRUE(filter.Passes(record));
  filter.type = 0;
  EXPECT_FALSE(filter.Passes(record));
  filter = EventRecordFilter{-1, true, DayNumber(3, 8, 2001)};
  EXPECT_FALSE(filter.Passes(record));
  filter.first_day = DayNumber(3, 7, 2001);
  EXPECT_TRUE(filter.Passes(record));
  EXPECT_TRUE(filter.Passes("4, no date here\n"));  // the limit cannot judge it
}

TEST(EventRecordTest, DayNumbersCountFrom1970AndCarryLikeMktime) {
  EXPECT_EQ(DayNumber(1, 1, 1970), 0);
  EXPECT_EQ(DayNumber(12, 31, 1969), -1);
  EXPECT_EQ(DayNumber(3, 7, 2001), 11388);
  EXPECT_EQ(DayNumber(3, 1, 2000) - DayNumber(2, 28, 2000), 2);
  EXPECT_EQ(DayNumber(3, 1, 1900) - DayNumber(2, 28, 1900), 1);
  EXPECT_EQ(DayNumber(13, 1, 2001), DayNumber(1, 1, 2002));
  EXPECT_EQ(DayNumber(-13, 1, 2001), DayNumber(11, 1, 1999));
  EXPECT_EQ(DayNumber(3, 0, 2001), DayNumber(2, 28, 2001));
  EXPECT_LT(DayNumber(INT_MIN, INT_MIN, INT_MIN), DayNumber(INT_MAX, INT_MAX, INT_MAX));
}

}  // namespace
}  // namespace vard
