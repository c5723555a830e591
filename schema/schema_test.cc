#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "schema/binding_key.h"
#include "schema/expire_date.h"
#include "schema/storable.h"

namespace vard {
namespace {

std::string FromServer(std::string_view host, std::string_view port, size_t cap = 64) {
  char buf[64];
  return BindingKeyFromServer(host, port, buf, cap) ? std::string(buf) : "<no key>";
}

TEST(BindingKeyTest, ServerRuleComparesThePortText) {
  EXPECT_EQ(FromServer("server1", "80"), "server1");
  EXPECT_EQ(FromServer("server1", "81"), "server1|81");
  EXPECT_EQ(FromServer("server1", "080"), "server1|080");  // only the exact text "80" drops
  EXPECT_EQ(FromServer("server1", ""), "server1|");
  EXPECT_EQ(FromServer("", "443"), "|443");
  // A host holding the separator would build another port's key.
  EXPECT_EQ(FromServer("server1|81", "80"), "<no key>");
}

TEST(BindingKeyTest, ServerRuleNeverOverrunsTheBuffer) {
  EXPECT_EQ(FromServer("abc", "81", 7), "abc|81");
  EXPECT_EQ(FromServer("abc", "81", 6), "<no key>");
  EXPECT_EQ(FromServer("abc", "80", 4), "abc");
  EXPECT_EQ(FromServer("abc", "80", 3), "<no key>");
  char buf[4] = "xyz";
  EXPECT_FALSE(BindingKeyFromServer("abcdef", "80", buf, sizeof buf));
  EXPECT_STREQ(buf, "");
  EXPECT_FALSE(BindingKeyFromServer("a", "80", nullptr, 10));
}

TEST(BindingKeyTest, FormRuleReadsThePortAsANumber) {
  EXPECT_EQ(BindingKeyFromForm("server1", "80"), "server1");
  EXPECT_EQ(BindingKeyFromForm("server1", " 80"), "server1");
  EXPECT_EQ(BindingKeyFromForm("server1", "080"), "server1");
  EXPECT_EQ(BindingKeyFromForm("server1", "+80x"), "server1");
  EXPECT_EQ(BindingKeyFromForm("server1", "81"), "server1|81");
  EXPECT_EQ(BindingKeyFromForm("server1", "-80"), "server1|-80");
  EXPECT_EQ(BindingKeyFromForm("server1", "4294967376"), "server1|4294967376");  // no wrap to 80
  EXPECT_EQ(BindingKeyFromForm("server1", ""), "server1|");
}

TEST(ExpireDateTest, ReadsMonthDayYear) {
  int m = 0, d = 0, y = 0;
  ASSERT_TRUE(ReadExpireDate("12/31/2001", &m, &d, &y));
  EXPECT_EQ(m, 12);
  EXPECT_EQ(d, 31);
  EXPECT_EQ(y, 2001);
  ASSERT_TRUE(ReadExpireDate(" 3/ 7/2001, rest", &m, &d, &y));  // the log's padded form
  EXPECT_EQ(m, 3);
  EXPECT_EQ(d, 7);
  ASSERT_TRUE(ReadExpireDate("31/12/2001", &m, &d, &y));  // no calendar check here
  EXPECT_EQ(m, 31);
  ASSERT_TRUE(ReadExpireDate("-1/+2/99999999999", &m, &d, &y));
  EXPECT_EQ(m, -1);
  EXPECT_EQ(d, 2);
  EXPECT_EQ(y, INT_MAX);  // clamped, so still "after 2037"
}

TEST(ExpireDateTest, IncompleteDatesCountWhatWasRead) {
  int m = 0, d = 0, y = 0;
  EXPECT_EQ(ScanMonthDayYear("12/31", &m, &d, &y), 2);
  EXPECT_EQ(ScanMonthDayYear("12 /31/2001", &m, &d, &y), 1);  // "/" must follow directly
  EXPECT_EQ(ScanMonthDayYear("12-31-2001", &m, &d, &y), 1);
  EXPECT_EQ(ScanMonthDayYear("", &m, &d, &y), 0);
  EXPECT_EQ(ScanMonthDayYear("x", &m, &d, &y), 0);
  EXPECT_EQ(ScanMonthDayYear("1/-/2", &m, &d, &y), 1);
  EXPECT_EQ(ScanMonthDayYear(nullptr, &m, &d, &y), 0);
  EXPECT_FALSE(ReadExpireDate("1/2/", &m, &d, &y));
}

TEST(StorableTest, NamesAndTextsTheFormatCanHold) {
  EXPECT_TRUE(IsStorableSectionName("Staff"));
  EXPECT_TRUE(IsStorableSectionName("DOMAIN\\web user"));
  for (const char* bad : {"", " lead", "trail ", "a:b", "a;b", "a\nb", "a\tb"}) {
    EXPECT_FALSE(IsStorableSectionName(bad)) << bad;
  }
  EXPECT_TRUE(IsStorableSectionName(std::string(255, 'x')));
  EXPECT_FALSE(IsStorableSectionName(std::string(256, 'x')));

  EXPECT_TRUE(IsStorableValueName("server1|81"));
  for (const char* bad : {"", "a=b", "a[1]", "a]", "a\rb"}) {
    EXPECT_FALSE(IsStorableValueName(bad)) << bad;
  }

  EXPECT_TRUE(IsStorableBindingHost("www.example.test"));
  for (const char* bad : {"", "a b", "a|b", "[::1]", "a=b"}) {
    EXPECT_FALSE(IsStorableBindingHost(bad)) << bad;
  }
  EXPECT_TRUE(IsStorableBindingHost(std::string(249, 'h')));
  EXPECT_FALSE(IsStorableBindingHost(std::string(250, 'h')));

  EXPECT_TRUE(IsStorableValueText(""));
  EXPECT_TRUE(IsStorableValueText(" C:\\logs\\a=b;[x] "));
  EXPECT_TRUE(IsStorableValueText(std::string(511, 't')));
  EXPECT_FALSE(IsStorableValueText(std::string(512, 't')));
  EXPECT_FALSE(IsStorableValueText("a\nb"));
  EXPECT_FALSE(IsStorableValueText(std::string_view("a\0b", 3)));
}

}  // namespace
}  // namespace vard
