#include "cgi/request.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"

namespace vard {
namespace {

using ::testing::ElementsAre;

std::vector<std::string> Pieces(PieceSource source) {
  std::vector<std::string> pieces;
  std::string piece;
  while (source.Next(&piece)) pieces.push_back(piece);
  return pieces;
}

// A stream holding `content`, for the body source.
std::FILE* StreamOf(const std::string& content) {
  std::FILE* f = std::tmpfile();
  std::fwrite(content.data(), 1, content.size(), f);
  std::rewind(f);
  return f;
}

std::unique_ptr<FieldSet> SetFrom(std::string_view text) {
  auto set = std::make_unique<FieldSet>();
  PieceSource source(text, '&');
  std::string piece, name, value;
  while (source.Next(&piece)) {
    if (SplitField(piece, &name, &value)) set->AddPair(name, value);
  }
  return set;
}

std::vector<std::string> Values(const Field& field) {
  std::vector<std::string> values;
  for (int i = 1; i <= field.Count(); ++i) values.push_back(field.ValueAt(i).Text());
  return values;
}

TEST(PieceSourceTest, SplitsAtSeparatorsKeepingEmptyPiecesButNoTrailingOne) {
  EXPECT_THAT(Pieces(PieceSource("a=1&b=2", '&')), ElementsAre("a=1", "b=2"));
  EXPECT_THAT(Pieces(PieceSource("a=1&", '&')), ElementsAre("a=1"));
  EXPECT_THAT(Pieces(PieceSource("&a=1", '&')), ElementsAre("", "a=1"));
  EXPECT_THAT(Pieces(PieceSource("a=1&&b=2", '&')), ElementsAre("a=1", "", "b=2"));
  EXPECT_THAT(Pieces(PieceSource("", '&')), ElementsAre());
  EXPECT_THAT(Pieces(PieceSource("a=1; b=2", ';')), ElementsAre("a=1", " b=2"));
}

TEST(PieceSourceTest, PiecesHaveNoLengthLimit) {
  const std::string big(100000, 'x');
  EXPECT_THAT(Pieces(PieceSource("a=" + big + "&b", '&')), ElementsAre("a=" + big, "b"));
}

TEST(PieceSourceTest, BodyReadsExactlyTheGivenLength) {
  std::FILE* f = StreamOf("a=1&b=2");
  EXPECT_THAT(Pieces(PieceSource(f, 5, '&')), ElementsAre("a=1", "b"));
  // The bytes after the length stay unread.
  EXPECT_EQ(std::getc(f), '=');
  std::fclose(f);
}

TEST(PieceSourceTest, BodyEndingEarlyStopsWithThePartialPiece) {
  std::FILE* f = StreamOf("a=1&b=");
  EXPECT_THAT(Pieces(PieceSource(f, 1000, '&')), ElementsAre("a=1", "b="));
  std::fclose(f);
  f = StreamOf("a=1&");
  EXPECT_THAT(Pieces(PieceSource(f, 1000, '&')), ElementsAre("a=1"));
  std::fclose(f);
}

TEST(PieceSourceTest, NegativeOrZeroBodyLengthReadsNothing) {
  std::FILE* f = StreamOf("a=1");
  EXPECT_THAT(Pieces(PieceSource(f, -5, '&')), ElementsAre());
  EXPECT_THAT(Pieces(PieceSource(f, 0, '&')), ElementsAre());
  EXPECT_EQ(std::getc(f), 'a');
  std::fclose(f);
}

TEST(SplitFieldTest, NameValueRules) {
  std::string name, value;
  ASSERT_EQ(SplitField("a=b=c", &name, &value), 1);
  EXPECT_EQ(name, "a");
  EXPECT_EQ(value, "b=c");

  ASSERT_EQ(SplitField("flag", &name, &value), 1);
  EXPECT_EQ(name, "flag");
  EXPECT_EQ(value, "");

  EXPECT_EQ(SplitField("=v", &name, &value), 0);

  ASSERT_EQ(SplitField("", &name, &value), 1);
  EXPECT_EQ(name, "");
  EXPECT_EQ(value, "");

  // A raw TAB, CR or LF ends the value.
  ASSERT_EQ(SplitField("a=one\ttwo", &name, &value), 1);
  EXPECT_EQ(value, "one");
  ASSERT_EQ(SplitField("a=x\r\ny", &name, &value), 1);
  EXPECT_EQ(value, "x");

  // Escaped separators arrive as plain characters; escaped line breaks are kept.
  ASSERT_EQ(SplitField("a%3Db=1%26b%3D2%0Ax", &name, &value), 1);
  EXPECT_EQ(name, "a=b");
  EXPECT_EQ(value, "1&b=2\nx");

  // A raw NUL ends the piece.
  ASSERT_EQ(SplitField(std::string_view("a=1\0zz", 6), &name, &value), 1);
  EXPECT_EQ(value, "1");
}

TEST(UrlDecodeTest, DecodesPlusAndEscapes) {
  EXPECT_EQ(UrlDecode("%41%2b+b"), "A+ b");
  EXPECT_EQ(UrlDecode("%c3%A9"), "\xc3\xa9");
  EXPECT_EQ(UrlDecode("abc"), "abc");
  // An escaped NUL ends the text.
  EXPECT_EQ(UrlDecode("ab%00cd"), "ab");
}

TEST(UrlDecodeTest, TheTwoCharactersAfterPercentAreConsumedWhateverTheyAre) {
  // Without a leading hex digit the '%' stands for itself.
  EXPECT_EQ(UrlDecode("%zzy"), "%y");
  EXPECT_EQ(UrlDecode("%%41"), "%1");
  EXPECT_EQ(UrlDecode("100%"), "100%");
  EXPECT_EQ(UrlDecode("a%z"), "a%");
  // A single leading hex digit is the number, as "%2X" reads it.
  EXPECT_EQ(UrlDecode("%4g%41"), std::string("\x04") + "A");
  EXPECT_EQ(UrlDecode("%4"), "\x04");
}

TEST(TrimLeftTest, RemovesLeadingWhiteSpaceOnly) {
  EXPECT_EQ(TrimLeft(" \t\r\nb c "), "b c ");
  EXPECT_EQ(TrimLeft("b"), "b");
  EXPECT_EQ(TrimLeft("  "), "");
}

TEST(FieldSetTest, NamesAreFoundIgnoringCaseAndKeepTheirFirstSpelling) {
  auto set = SetFrom("Action=NTAccAdd");
  EXPECT_STREQ(set->Get("action").Text(), "NTAccAdd");

  set = SetFrom("a=1&A=2");
  ASSERT_EQ(set->Count(), 1);
  EXPECT_STREQ(set->Get("A").GetName(), "a");
  EXPECT_THAT(Values(set->Get("a")), ElementsAre("1", "2"));
  EXPECT_STREQ(set->Get("a").Text(), "1");
}

TEST(FieldSetTest, EqualValuesAreDroppedButEmptyValuesAllStay) {
  auto set = SetFrom("a=x&a=X&a=y");
  EXPECT_THAT(Values(set->Get("a")), ElementsAre("x", "y"));

  set = SetFrom("a=&a=&a=z");
  EXPECT_THAT(Values(set->Get("a")), ElementsAre("", "", "z"));
  EXPECT_STREQ(set->Get("a").Text(), "");
}

TEST(FieldSetTest, PiecesWithoutNameOrValue) {
  auto set = SetFrom("flag&=v&&a=1%26b%3D2");
  EXPECT_STREQ(set->Get("flag").Text(), "");
  EXPECT_EQ(set->Get("flag").Count(), 1);
  EXPECT_STREQ(set->Get("a").Text(), "1&b=2");
  EXPECT_EQ(&set->Get("b"), &Field::Empty);
  EXPECT_EQ(&set->Get("v"), &Field::Empty);
  EXPECT_EQ(&set->Get(""), &Field::Empty);
}

TEST(FieldSetTest, MissingFieldReadsLikeAnEmptyOne) {
  auto set = SetFrom("posted=");
  const Field& missing = set->Get("nothing");
  const Field& posted = set->Get("posted");
  EXPECT_EQ(&missing, &Field::Empty);
  EXPECT_EQ(missing.Text(), EmptyText());
  EXPECT_EQ(posted.Text(), EmptyText());
  EXPECT_EQ(missing.Int(), 0);
  EXPECT_EQ(posted.Int(), 0);
  EXPECT_EQ(&missing.ValueAt(1), &FieldValue::Empty);
  EXPECT_EQ(&posted.ValueAt(7), &FieldValue::Empty);
  EXPECT_EQ(&posted.ValueAt(0), &FieldValue::Empty);
}

TEST(FieldSetTest, CookiesAfterTheFirstLoseTheirLeadingSpace) {
  FieldSet set;
  PieceSource source("a=1; b=2; c=%20x", ';');
  std::string piece, name, value;
  while (source.Next(&piece)) {
    if (SplitField(piece, &name, &value)) set.AddPair(TrimLeft(name), value);
  }
  EXPECT_STREQ(set.Get("a").Text(), "1");
  EXPECT_STREQ(set.Get("b").Text(), "2");
  EXPECT_STREQ(set.Get("c").Text(), " x");
}

TEST(FieldValueTest, IntReadsLikePercentD) {
  EXPECT_EQ(FieldValue(" 42").Int(), 42);
  EXPECT_EQ(FieldValue("-7").Int(), -7);
  EXPECT_EQ(FieldValue("+8").Int(), 8);
  EXPECT_EQ(FieldValue("0x50").Int(), 0);
  EXPECT_EQ(FieldValue("80abc").Int(), 80);
  EXPECT_EQ(FieldValue("abc").Int(), 0);
  EXPECT_EQ(FieldValue("- 1").Int(), 0);
  EXPECT_EQ(FieldValue("").Int(), 0);
  // Out of range: clamped, never wrapped round to the other sign.
  EXPECT_EQ(FieldValue("99999999999").Int(), 2147483647);
  EXPECT_EQ(FieldValue("-99999999999").Int(), -2147483647 - 1);
  EXPECT_EQ(FieldValue("2147483648").Int(), 2147483647);
}

}  // namespace
}  // namespace vard
