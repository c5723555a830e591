#include "tree/tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vard {
namespace {

std::string Text(const std::unique_ptr<TextString>& s) { return s->CStr() ? s->CStr() : "<null>"; }

// The event log writes "%d, %s, %s, %s, %s, %s, %s\n" where the second field is "time, date";
// the viewer splits at comma, CR and LF and reads the fields by number.
constexpr char kRecord[] =
    "0, 2:05 PM,  3/ 7/2001, OK Authenticated (UserName UserDB), alice, Staff, /default.htm, "
    "server1\n";

TEST(TokenizerTest, SplitsLogRecordsIntoTheViewerColumns) {
  TextString line(kRecord);
  Tokenizer tokens(",\r\n");
  tokens.Attach(&line);
  const std::vector<std::string> expected = {
      "0",      " 2:05 PM", "  3/ 7/2001",   " OK Authenticated (UserName UserDB)",
      " alice", " Staff",   " /default.htm", " server1"};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(Text(tokens.GetToken(i)), expected[i]) << i;
  EXPECT_EQ(tokens.GetToken(0)->ToInt(), 0);
  // The line feed ends one more, empty field; beyond it there is none.
  EXPECT_EQ(Text(tokens.GetToken(8)), "");
  EXPECT_EQ(Text(tokens.GetToken(9)), "<null>");
  EXPECT_EQ(Text(tokens.GetToken(INT32_MAX)), "<null>");
}

TEST(TokenizerTest, ShortDamagedAndCrLfRecords) {
  Tokenizer tokens(",\r\n");
  TextString short_line("15, 9:00, 1/ 1/2038, Date greater than 2037\r\n");
  tokens.Attach(&short_line);
  EXPECT_EQ(Text(tokens.GetToken(3)), " Date greater than 2037");
  EXPECT_EQ(Text(tokens.GetToken(4)), "");  // between CR and LF
  EXPECT_EQ(Text(tokens.GetToken(5)), "");
  EXPECT_EQ(Text(tokens.GetToken(6)), "<null>");

  TextString user_with_comma("4, 10:00,  1/ 2/2003, Bad password, smith, john, Staff, /, s\n");
  tokens.Attach(&user_with_comma);
  EXPECT_EQ(Text(tokens.GetToken(5)), " john");  // an unescaped comma shifts the columns

  TextString empty("");
  tokens.Attach(&empty);
  EXPECT_EQ(Text(tokens.GetToken(0)), "");
  EXPECT_EQ(Text(tokens.GetToken(1)), "<null>");
}

TEST(TokenizerTest, NextTokenWalksAndPastTheEndIsInvalid) {
  TextString text("a,,c,");
  Tokenizer tokens(",");
  tokens.Attach(&text);
  EXPECT_EQ(Text(tokens.NextToken()), "a");
  EXPECT_EQ(Text(tokens.NextToken()), "");
  EXPECT_EQ(Text(tokens.PeekToken()), "c");
  EXPECT_EQ(tokens.GetPosition(), 3);
  EXPECT_STREQ(tokens.Remaining(), "c,");
  EXPECT_EQ(Text(tokens.NextToken()), "c");
  EXPECT_EQ(Text(tokens.NextToken()), "");
  EXPECT_EQ(Text(tokens.NextToken()), "<null>");
  EXPECT_EQ(tokens.GetPosition(), 6);
  EXPECT_STREQ(tokens.Remaining(), "");
  tokens.SetPosition(1);
  EXPECT_EQ(Text(tokens.GetToken(2)), "c");
  EXPECT_EQ(tokens.GetPosition(), 1);  // GetToken does not move the cursor
}

TEST(TokenizerTest, PrevTokenAndSeekAfterLastDelimiter) {
  TextString text("x=1;y=2");
  Tokenizer tokens(";");
  tokens.Attach(&text);
  tokens.SeekAfterLastDelimiter();
  EXPECT_EQ(tokens.GetPosition(), 4);
  EXPECT_EQ(Text(tokens.NextToken()), "y=2");
  tokens.SetPosition(6);
  EXPECT_EQ(Text(tokens.PrevToken()), "y=2");
  EXPECT_EQ(tokens.GetPosition(), 2);
  EXPECT_EQ(Text(tokens.PrevToken()), "x=1");
  EXPECT_EQ(tokens.GetPosition(), -2);
  EXPECT_EQ(Text(tokens.PrevToken()), "<null>");

  TextString plain("nodelims");
  tokens.Attach(&plain);
  tokens.SeekAfterLastDelimiter();
  EXPECT_EQ(tokens.GetPosition(), 0);
}

TEST(TokenizerTest, TokenByDelimitersRestoresCursorAndSet) {
  TextString text("a=b;c");
  Tokenizer tokens(",");
  tokens.Attach(&text);
  EXPECT_EQ(Text(tokens.TokenByDelimiters("=;")), "b");
  EXPECT_EQ(tokens.GetPosition(), 0);
  EXPECT_EQ(Text(tokens.NextToken()), "a=b;c");  // the comma set is back
  tokens.ResetPosition();
  EXPECT_EQ(Text(tokens.TokenByDelimiters(nullptr)), "a=b;c");
  EXPECT_EQ(Text(tokens.TokenByDelimiters("")), "<null>");
  tokens.SetDelimiters(nullptr);
  EXPECT_EQ(Text(tokens.NextToken()), "a=b;c");
  tokens.SetDelimiter('\0');  // the terminator never splits
  tokens.ResetPosition();
  EXPECT_EQ(Text(tokens.NextToken()), "a=b;c");
}

TEST(TokenizerTest, AttachBorrowsAndAttachCopyOwns) {
  Tokenizer tokens(",");
  EXPECT_FALSE(tokens.HasText());
  EXPECT_EQ(tokens.Remaining(), nullptr);
  EXPECT_EQ(tokens.GetPosition(), 0);
  tokens.SetPosition(5);
  EXPECT_EQ(tokens.GetPosition(), 0);
  EXPECT_EQ(Text(tokens.NextToken()), "<null>");
  EXPECT_EQ(Text(tokens.GetToken(0)), "<null>");

  TextString line("1,2");
  tokens.AttachCopy(line);
  EXPECT_EQ(Text(tokens.NextToken()), "1");
  EXPECT_EQ(line.position(), 0);  // the copy moved, not the original
  {
    // Borrowing after owning must not make the cursor free the borrowed text.
    TextString borrowed("3,4");
    tokens.Attach(&borrowed);
    EXPECT_EQ(Text(tokens.NextToken()), "3");
    EXPECT_EQ(borrowed.position(), 2);
    tokens.Attach(nullptr);
  }
  EXPECT_FALSE(tokens.HasText());
}

TEST(TokenCursorTest, BaseCursorHandsOutTheWholeText) {
  auto* cursor = new TokenCursor();
  TextString text("a,b");
  cursor->Attach(&text);
  cursor->SetDelimiter(',');
  EXPECT_EQ(Text(cursor->NextToken()), "a,b");
  EXPECT_EQ(Text(cursor->GetToken(1)), "a,b");
  EXPECT_EQ(Text(cursor->PrevToken()), "a,b");
  EXPECT_EQ(Text(cursor->TokenByDelimiters(",")), "a,b");
  cursor->Destroy();
}

}  // namespace
}  // namespace vard
