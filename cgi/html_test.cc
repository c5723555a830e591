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

}  // namespace
}  // namespace vard
