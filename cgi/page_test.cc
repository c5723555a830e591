#include "cgi/page.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

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

TEST_F(PageTest, HeaderIsTheContentTypeAndAnEmptyLine) {
  EXPECT_EQ(Captured([] { WriteHeader("text/html"); }), "Content-Type: text/html\n\n");
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

TEST_F(PageTest, PageHeadOpensTheBodyAndEscapesTheTitle) {
  const std::string head = Captured([] { WritePageHead("A & B"); });
  EXPECT_EQ(head.rfind("<html>\n<head>\n<title>A &amp; B</title>\n", 0), 0u);
  EXPECT_NE(head.find("<meta http-equiv=\"Content-Type\" content=\"text/html; "
                      "charset=iso-8859-1\">\n<style>\n<!--\ntd { font-family: Arial; "
                      "font-size: 10pt }\n"),
            std::string::npos);
  EXPECT_NE(head.find("\n.inset { border-left: 1px solid rgb(0,0,0); border-right: 1px solid "
                      "rgb(255,255,255); border-top: 1px solid rgb(0,0,0); border-bottom: 1px "
                      "solid rgb(255,255,255) }\n-->\n</style>\n</head>\n<body>\n"),
            std::string::npos);
}

}  // namespace
}  // namespace vard
