#include "cgi/html.h"

#include "gtest/gtest.h"

namespace vard {
namespace {

TEST(HtmlEscapeTest, EscapesTheFiveMarkupCharactersOnly) {
  EXPECT_EQ(HtmlEscape("<script>alert('x')</script>"),
            "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;");
  EXPECT_EQ(HtmlEscape("a \"b\" & c"), "a &quot;b&quot; &amp; c");
  EXPECT_EQ(HtmlEscape("plain \xe9 text|81"), "plain \xe9 text|81");
  EXPECT_EQ(HtmlEscape(""), "");
}

TEST(HtmlEscapeTest, WriteEscapedWritesTheSameText) {
  const std::string text = "x<y>&\"'z" + std::string(5000, 'a') + "<";
  testing::internal::CaptureStdout();
  WriteEscaped(text);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), HtmlEscape(text));
}

}  // namespace
}  // namespace vard
