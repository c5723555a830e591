#include "platform/time_format.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vard {
namespace {

TEST(TimeOfDayFormatTest, DropsSecondsWithTheirSeparator) {
  EXPECT_EQ(TimeOfDayFormatWithoutSeconds("%H:%M:%S", ""), "%H:%M");
  EXPECT_EQ(TimeOfDayFormatWithoutSeconds("%H.%M.%S", ""), "%H.%M");
  EXPECT_EQ(TimeOfDayFormatWithoutSeconds("%I:%M:%S %p", ""), "%I:%M %p");
  EXPECT_EQ(TimeOfDayFormatWithoutSeconds("%l:%M:%OS %p %Z", ""), "%l:%M %p %Z");
  // A unit word after the seconds goes with them when the separator before is a word too.
  EXPECT_EQ(TimeOfDayFormatWithoutSeconds("%Hh%Mm%Ss", ""), "%Hh%Mm");
  EXPECT_EQ(TimeOfDayFormatWithoutSeconds("%Hh%Mm%Ss %Z", ""), "%Hh%Mm %Z");
}

TEST(TimeOfDayFormatTest, ExpandsCompositeConversions) {
  EXPECT_EQ(TimeOfDayFormatWithoutSeconds("%T", ""), "%H:%M");
  EXPECT_EQ(TimeOfDayFormatWithoutSeconds("%r", "%I:%M:%S %p"), "%I:%M %p");
  EXPECT_EQ(TimeOfDayFormatWithoutSeconds("%r", ""), "%I:%M %p");
  // A locale whose 12-hour format refers to itself must not recurse forever.
  EXPECT_EQ(TimeOfDayFormatWithoutSeconds("%r", "%r"), "%r");
}

TEST(TimeOfDayFormatTest, FallsBackWhenNothingIsLeft) {
  EXPECT_EQ(TimeOfDayFormatWithoutSeconds("", ""), "%H:%M");
  EXPECT_EQ(TimeOfDayFormatWithoutSeconds("%S", ""), "%H:%M");
  EXPECT_EQ(TimeOfDayFormatWithoutSeconds("100%%", ""), "%H:%M");
  EXPECT_EQ(TimeOfDayFormatWithoutSeconds("%H:%M:%", ""), "%H:%M:%");
}

TEST(SanitizeTimeTextTest, RemovesRecordSeparatorsAndTrims) {
  char text[32];
  std::strcpy(text, " 2,05\r\nPM ");
  EXPECT_EQ(SanitizeTimeText(text, std::strlen(text)), 8u);
  EXPECT_STREQ(text, "2 05  PM");
  std::strcpy(text, "   ");
  EXPECT_EQ(SanitizeTimeText(text, 3), 0u);
  EXPECT_STREQ(text, "");
}

}  // namespace
}  // namespace vard
