#include "cgi/page.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "cgi/request.h"
#include "gtest/gtest.h"

namespace vard {
namespace {

std::string Captured(const std::function<void()>& write) {
  testing::internal::CaptureStdout();
  write();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

class PageTest : public testing::Test {
 protected:
  void SetUp() override { setenv("SCRIPT_NAME", "/scripts/vardadmin", 1); }
  void TearDown() override { unsetenv("SCRIPT_NAME"); }
};

TEST_F(PageTest, HeaderBlockEndsWithAnEmptyLine) {
  EXPECT_EQ(Captured([] { WriteHeader("text/html"); }),
            "Content-Type: text/html; charset=UTF-8\n"
            "Cache-Control: no-store\n"
            "X-Content-Type-Options: nosniff\n"
            "Referrer-Policy: same-origin\n"
            "X-Frame-Options: DENY\n"
            "Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'; "
            "form-action 'self'; frame-ancestors 'none'; base-uri 'none'\n\n");
}

// A browser posts a form in the character set the form and page name, and the filter compares
// bytes: the page and its forms must name the same one as the header.
TEST_F(PageTest, HeadAndFormsNameTheSameCharset) {
  EXPECT_NE(Captured([] {
              WritePageHead("Users");
            }).find("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">\n"),
            std::string::npos);
  EXPECT_EQ(Captured([] { WriteFormStart("AddUserDo"); }),
            "<form method=\"POST\" accept-charset=\"UTF-8\" "
            "action=\"/scripts/vardadmin?Action=AddUserDo\">\n");
}

TEST_F(PageTest, ActionUrls) {
  EXPECT_EQ(Captured([] { WriteActionUrl("NTAccAdd"); }), "/scripts/vardadmin?Action=NTAccAdd");
  EXPECT_EQ(Captured([] { WriteActionUrl(""); }), "/scripts/vardadmin?Action=");
  EXPECT_EQ(Captured([] { WriteActionUrl2("SelectAuthority", "AddUser"); }),
            "/scripts/vardadmin?Action=SelectAuthority&PostAction=AddUser");
}

TEST_F(PageTest, ForeignTextCannotLeaveTheUrlOrTheAttribute) {
  EXPECT_EQ(Captured([] { WriteActionUrl2("SelectAuthority", "\"><script>&x=1"); }),
            "/scripts/vardadmin?Action=SelectAuthority&PostAction=%22%3E%3Cscript%3E%26x%3D1");
  setenv("SCRIPT_NAME", "/cgi/a\"b<c>", 1);
  EXPECT_EQ(Captured([] { WriteActionUrl("MainScreen"); }),
            "/cgi/a&quot;b&lt;c&gt;?Action=MainScreen");
  unsetenv("SCRIPT_NAME");
  EXPECT_EQ(Captured([] { WriteActionUrl("MainScreen"); }), "?Action=MainScreen");
}

// A link's field values come back through the query reader byte for byte.
TEST_F(PageTest, LinkFieldsReachTheQueryAsTheyWere) {
  const std::string find = "a\"b'&c=d<i>+ %e \xC3\xBC\xFF";
  const std::string url = Captured([&] {
    WriteActionUrl("ListAuthority", {{"Find", find}, {"Page", "2"}});
  });
  EXPECT_EQ(url.find_first_not_of(
                "/abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-._~%?&="),
            std::string::npos)
      << url;
  ASSERT_EQ(url.rfind("&Page=2"), url.size() - 7);
  const size_t value = url.find("&Find=") + 6;
  EXPECT_EQ(UrlDecode(url.substr(value, url.rfind("&Page=") - value)), find);
}

}  // namespace
}  // namespace vard
