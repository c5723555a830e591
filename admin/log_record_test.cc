#include "admin/log_record.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <tuple>

#include "schema/expire_date.h"
#include "tree/text_string.h"
#include "tree/tokenizer.h"

namespace vard {
namespace {

// The viewer filters with SplitLogFields and shows rows through the tokenizer; both must see the
// same fields or a row would be filtered on one text and shown with another.
TEST(LogRecord, FieldsAgreeWithTheTokenizer) {
  const char* const lines[] = {
      "0, 2:05 PM,  3/ 7/2001, OK, alice, Staff, /default.htm, server1\n",
      "2, 2:05 PM,  3/ 7/2001, Filter disabled, , , /x, s\r\n",
      "0\n",
      "\n",
      ",,,",
      "no delimiter at all",
      "a,b\rc\nd",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    std::string_view fields[12];
    const int count = SplitLogFields(line, fields, 12);
    TextString text(line);
    Tokenizer tokenizer(kLogDelimiters);
    tokenizer.Attach(&text);
    for (int k = 0; k < 12; ++k) {
      const std::unique_ptr<TextString> token = tokenizer.GetToken(k);
      if (k < count) {
        ASSERT_NE(token->CStr(), nullptr) << k;
        EXPECT_EQ(fields[k], token->CStr()) << k;
      } else {
        EXPECT_EQ(token->CStr(), nullptr) << k;
      }
    }
  }
}

TEST(LogRecord, NumbersAndDatesReadLikeScanf) {
  std::string_view text = " -42x";
  int value = 0;
  EXPECT_EQ(ScanLeadingInt(&text, &value), 1);
  EXPECT_EQ(value, -42);
  EXPECT_EQ(text, "x");
  EXPECT_EQ(ScanLeadingInt(&text, &value), 0);
  text = "99999999999";
  ScanLeadingInt(&text, &value);
  EXPECT_EQ(value, INT_MAX);

  int month = 0, day = 0, year = 0;
  EXPECT_EQ(ScanMonthDayYear("  3/ 7/2001 trailing", &month, &day, &year), 3);
  EXPECT_EQ(std::tie(month, day, year), std::make_tuple(3, 7, 2001));
  EXPECT_EQ(ScanMonthDayYear("3 /7/2001", &month, &day, &year), 1);
  EXPECT_EQ(ScanMonthDayYear("3/7", &month, &day, &year), 2);
  EXPECT_EQ(ScanMonthDayYear(" PM", &month, &day, &year), 0);
}

TEST(LogRecord, DayNumbersCountFrom1970AndCarryLikeMktime) {
  EXPECT_EQ(DayNumber(1, 1, 1970), 0);
  EXPECT_EQ(DayNumber(12, 31, 1969), -1);
  EXPECT_EQ(DayNumber(3, 7, 2001), 11388);
  EXPECT_EQ(DayNumber(3, 1, 2000) - DayNumber(2, 28, 2000), 2);
  EXPECT_EQ(DayNumber(3, 1, 1900) - DayNumber(2, 28, 1900), 1);
  EXPECT_EQ(DayNumber(13, 1, 2001), DayNumber(1, 1, 2002));
  EXPECT_EQ(DayNumber(-13, 1, 2001), DayNumber(11, 1, 1999));
  EXPECT_EQ(DayNumber(3, 0, 2001), DayNumber(2, 28, 2001));
  EXPECT_EQ(DayNumber(2, 35, 2001), DayNumber(3, 7, 2001));
  EXPECT_LT(DayNumber(INT_MIN, INT_MIN, INT_MIN), DayNumber(INT_MAX, INT_MAX, INT_MAX));
}

}  // namespace
}  // namespace vard
