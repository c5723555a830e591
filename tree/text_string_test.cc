#include "tree/text_string.h"

#include <gtest/gtest.h>

#include <string>

#include "tree/owned.h"

namespace vard {
namespace {

std::string Text(const std::unique_ptr<TextString>& s) { return s->CStr() ? s->CStr() : "<null>"; }

TEST(TextStringTest, SubstringCountsFromEitherEndAndCuts) {
  const TextString s("abcdef");
  EXPECT_EQ(Text(s.Substring(-3, 2)), "de");
  EXPECT_EQ(Text(s.Substring(6, 1)), "");
  EXPECT_TRUE(s.Substring(6, 1)->IsValid());
  EXPECT_EQ(Text(s.Substring(2, 100)), "cdef");
  EXPECT_EQ(Text(s.Substring(-100, 2)), "ab");  // still negative after counting: from 0
  EXPECT_EQ(Text(s.Substring(1, -1)), "");
  EXPECT_EQ(Text(s.Substring(0, INT32_MAX)), "abcdef");
  EXPECT_EQ(Text(s.Substring(INT32_MIN, 1)), "a");
  EXPECT_EQ(Text(TextString().Substring(0, 5)), "");
}

TEST(TextStringTest, StatusDecidesWhatReadersSee) {
  TextString invalid(TextString::kInvalid);
  EXPECT_FALSE(invalid.IsValid());
  EXPECT_EQ(invalid.CStr(), nullptr);
  EXPECT_EQ(invalid.Length(), 0);
  char buf[4] = "xyz";
  EXPECT_EQ(invalid.CopyTo(buf, sizeof buf), buf);
  EXPECT_STREQ(buf, "");

  TextString empty;
  EXPECT_TRUE(empty.IsValid());
  EXPECT_EQ(empty.CStr(), nullptr);  // no data is not the same as ""
  EXPECT_EQ(empty.Length(), 0);

  // A copy of an invalid string stays invalid; Clone keeps the position as well.
  EXPECT_FALSE(TextString(invalid).IsValid());
  TextString positioned("abc");
  positioned.set_position(2);
  EXPECT_EQ(positioned.Clone()->position(), 2);
  EXPECT_EQ(TextString(positioned).position(), 0);
  EXPECT_STREQ(TextString(positioned).CStr(), "abc");
}

TEST(TextStringTest, ResetAssignAndAppend) {
  TextString s("ab");
  s.set_position(1);
  EXPECT_EQ(s.Append(nullptr), 1);  // null leaves data and status alone
  EXPECT_STREQ(s.CStr(), "ab");
  EXPECT_EQ(s.Append("cd"), 1);
  EXPECT_STREQ(s.CStr(), "abcd");
  EXPECT_EQ(s.position(), 1);
  EXPECT_EQ(s.Reset("x"), 1);
  EXPECT_EQ(s.position(), 0);
  EXPECT_EQ(s.Length(), 1);
  EXPECT_EQ(s.Assign(nullptr), 1);
  EXPECT_EQ(s.CStr(), nullptr);
  TextString invalid(TextString::kInvalid);
  EXPECT_EQ(invalid.Append("host"), 1);  // appending to nothing makes the string valid again
  EXPECT_STREQ(invalid.CStr(), "host");
}

TEST(TextStringTest, CopyToNeverWritesPastTheBuffer) {
  const TextString s("abc");
  char buf[8];
  EXPECT_EQ(s.CopyTo(buf, 3), nullptr);
  EXPECT_EQ(s.CopyTo(buf, 0), nullptr);
  EXPECT_EQ(s.CopyTo(nullptr, 8), nullptr);
  EXPECT_EQ(s.CopyTo(buf, 4), buf);
  EXPECT_STREQ(buf, "abc");
}

TEST(TextStringTest, NumbersAndCharacters) {
  EXPECT_EQ(TextString("12abc").ToInt(), 12);
  EXPECT_EQ(TextString("abc").ToInt(), 0);
  EXPECT_EQ(TextString("  -7, x").ToInt(), -7);
  EXPECT_EQ(TextString("99999999999").ToInt(), INT32_MAX);
  EXPECT_EQ(TextString().ToInt(), 0);
  const TextString s("ab");
  EXPECT_EQ(s.CharAt(1), 'b');
  EXPECT_EQ(s.CharAt(2), '\0');
  EXPECT_EQ(s.CharAt(-1), '\0');
}

TEST(OwnedTest, HoldersReleaseAndHandOver) {
  OwnedText text(std::unique_ptr<char[]>(new char[3]{'h', 'i', '\0'}));
  EXPECT_STREQ(text.get(), "hi");
  std::unique_ptr<char[]> taken = text.release();
  EXPECT_FALSE(text);
  EXPECT_STREQ(taken.get(), "hi");

  OwnedObject<TextString> object(std::make_unique<TextString>("x"));
  EXPECT_EQ(object->Length(), 1);
  object.reset();
  EXPECT_FALSE(object);
}

}  // namespace
}  // namespace vard
