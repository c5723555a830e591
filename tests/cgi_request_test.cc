// ReadRequest as a web server drives it: the three sources come from the CGI environment and
// standard input of a real process.
#include <string>

#include "gtest/gtest.h"
#include "tests/cgi_runner.h"

namespace vard::test {
namespace {

std::string Echo(CgiRequest request, int* status = nullptr) {
  const CgiResponse response = RunCgi(VARD_CGI_ECHO, request);
  EXPECT_EQ(response.err, "");
  if (status) *status = response.exit_status;
  return response.out;
}

TEST(CgiRequestTest, ReadsAllThreeSourcesAndReturnsThePageResult) {
  CgiRequest request;
  request.query_string = "Action=NTAccAdd&x=%41";
  request.body = "User=a+b&Pass=%26%3D";
  request.cookie = "s=1; t=%20x";
  int status = 0;
  EXPECT_EQ(Echo(request, &status),
            "form [User]=[a b]\nform [Pass]=[&=]\nquery [Action]=[NTAccAdd]\nquery [x]=[A]\n"
            "cookie [s]=[1]\ncookie [t]=[ x]\nrest []\n");
  EXPECT_EQ(status, 7);
}

TEST(CgiRequestTest, BodyIsReadExactlyToContentLength) {
  CgiRequest request;
  request.body = "a=1&b=2";
  request.content_length = "5";
  EXPECT_EQ(Echo(request), "form [a]=[1]\nform [b]=[]\nrest [=2]\n");
}

TEST(CgiRequestTest, NoUsableContentLengthMeansNoBody) {
  CgiRequest request;
  request.body = "a=1";
  for (const char* length : {"-3", "abc", ""}) {
    request.content_length = length;
    EXPECT_EQ(Echo(request), "rest [a=1]\n") << length;
  }
  request.content_length.reset();
  request.omit_content_length = true;
  EXPECT_EQ(Echo(request), "rest [a=1]\n");
}

TEST(CgiRequestTest, BodyEndingBeforeContentLengthKeepsThePartialPiece) {
  CgiRequest request;
  request.body = "a=1&b=tail";
  request.content_length = "100000";
  EXPECT_EQ(Echo(request), "form [a]=[1]\nform [b]=[tail]\nrest []\n");
}

}  // namespace
}  // namespace vard::test
