// The paged user pages of a large authority, in both programs, run as a web server runs them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/cgi_runner.h"
#include "userpages/user_test_support.h"

namespace vard::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct Program {
  const char* name;
  const char* list_action;
};

// The programs' user pages; the administration program is told the authority in `Authority`,
// posted or (following a link) in the query, the site program finds it by the site's host.
class UserPagingTest : public testing::TestWithParam<Program> {
 protected:
  void UseUsers(int count, std::string_view prefix = "user") {
    ASSERT_TRUE(WriteFile(site_.config_path(), UsersConfig(count, prefix)));
  }
  bool Admin() const { return std::string_view(GetParam().name) == "vardadmin"; }
  CgiRequest Request(std::string_view query, std::string body) const {
    if (Admin()) body = "Authority=Staff" + std::string(body.empty() ? "" : "&") + body;
    CgiRequest request = site_.Request(query, body);
    request.script_name = "/scripts/" + std::string(GetParam().name);
    request.server_name = "intranet";
    return request;
  }
  // The page of `action` for the posted `body` (besides the authority).
  std::string Post(std::string_view action, std::string body = {}) const {
    const std::string query = "Action=" + std::string(action);
    return RunCgi(ProgramPath(GetParam().name), Request(query, body)).Body();
  }
  std::string List(std::string body = {}) const { return Post(GetParam().list_action, body); }
  // The page a link of `page` leads to, its caption "Previous" or "Next"; "" without one.
  std::string Follow(const std::string& page, std::string_view caption) const {
    const size_t end = page.find("\">" + std::string(caption) + "</a>");
    if (end == std::string::npos) return "";
    const size_t query = page.rfind('?', end) + 1;
    CgiRequest request = site_.Request(page.substr(query, end - query), "");
    request.method = "GET";
    request.script_name = "/scripts/" + std::string(GetParam().name);
    request.server_name = "intranet";
    return RunCgi(ProgramPath(GetParam().name), request).Body();
  }

  CgiSite site_{kEmptyConfig};
};

INSTANTIATE_TEST_SUITE_P(Programs, UserPagingTest,
                         testing::Values(Program{"vardadmin", "ListAuthority"},
                                         Program{"vardsite", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

size_t Count(const std::string& text, std::string_view part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Up to one page of users, the filter and page fields change nothing: the pages stay whole.
TEST_P(UserPagingTest, AuthoritiesThatFitOnePageAreNotPaged) {
  for (const int count : {0, 1, 200}) {
    UseUsers(count);
    const std::string list = List();
    EXPECT_EQ(Count(list, "value=\"Edit\""), static_cast<size_t>(count));
    EXPECT_EQ(List("Find=zzz&Page=2"), list) << count;
    const std::string del = Post("DelUser");
    EXPECT_EQ(Count(del, "<option value=\"user"), static_cast<size_t>(count));
    EXPECT_EQ(Post("ChangeUser", "Find=zzz"), Post("ChangeUser"));
    for (const std::string& page : {list, del}) EXPECT_THAT(page, Not(HasSubstr("Find")));
  }
}

TEST_P(UserPagingTest, PagesOf201UsersAndHostilePositions) {
  UseUsers(201);
  const std::string first = List();
  EXPECT_EQ(Count(first, "value=\"Edit\""), 200u);
  EXPECT_THAT(first, HasSubstr("<p>Users 1 to 200 of 201."));
  EXPECT_THAT(first, Not(HasSubstr("Previous")));
  EXPECT_THAT(first, Not(HasSubstr("user000201")));

  const std::string second = Follow(first, "Next");
  EXPECT_THAT(second, HasSubstr("<p>Users 201 to 201 of 201."));
  EXPECT_THAT(second, HasSubstr("value=\"user000201\""));
  EXPECT_THAT(second, Not(HasSubstr(">Next</a>")));
  EXPECT_EQ(Follow(second, "Previous"), first);

  for (const char* position : {"-5", "0", "x", "", "-99999999999"}) {
    EXPECT_EQ(List(std::string("Page=") + position), first) << position;
  }
  for (const char* position : {"2", "3", "99999999999"}) {
    EXPECT_EQ(List(std::string("Page=") + position), second) << position;
  }
}

TEST_P(UserPagingTest, FilterMatchesNamesIgnoringLetterCase) {
  UseUsers(1000);
  const std::string none = List("Find=zzz");
  EXPECT_THAT(none, HasSubstr("<p>No user name contains <b>zzz</b>.</p>"));
  EXPECT_EQ(Count(none, "value=\"Edit\""), 0u);
  EXPECT_EQ(List("Find=zzz&Page=7"), none);

  const std::string one = List("Find=R000999");
  EXPECT_THAT(one, HasSubstr("<p>Users 1 to 1 of 1 whose name contains <b>R000999</b>."));
  EXPECT_THAT(one, HasSubstr("value=\"user000999\""));

  // user000001 to user000999: five pages.
  const std::string many = List("Find=user000");
  EXPECT_THAT(many, HasSubstr("<p>Users 1 to 200 of 999 whose name contains <b>user000</b>."));
  const std::string last = List("Find=user000&Page=5");
  EXPECT_THAT(last, HasSubstr("<p>Users 801 to 999 of 999 whose name contains <b>user000</b>."));
  EXPECT_THAT(last, HasSubstr("value=\"user000999\""));
  EXPECT_EQ(Follow(Follow(many, "Next"), "Previous"), many);
}

// The filter text comes back unchanged through the text box and the links: the page never
// shows it raw, and the next page filters by the same bytes.
TEST_P(UserPagingTest, FilterTextSurvivesFieldsAndLinks) {
  const std::string prefix = "<i>\"&amp'+%20 \xC3\xBC-";
  UseUsers(401, prefix);
  const std::string find = "\"&amp'+%20 \xC3\xBC";
  const std::string escaped = "&quot;&amp;amp&#39;+%20 \xC3\xBC";
  const std::string first = List("Find=" + UrlEncode(find));
  EXPECT_THAT(first, HasSubstr("name=\"Find\" size=\"20\" value=\"" + escaped + "\">"));
  EXPECT_THAT(first, HasSubstr("Users 1 to 200 of 401 whose name contains <b>" + escaped));
  EXPECT_THAT(first, Not(HasSubstr("<i>\"")));
  const std::string second = Follow(first, "Next");
  EXPECT_THAT(second, HasSubstr("name=\"Find\" size=\"20\" value=\"" + escaped + "\">"));
  EXPECT_THAT(second, HasSubstr("Users 201 to 400 of 401 whose name contains"));
  EXPECT_THAT(Follow(second, "Next"),
              HasSubstr("&lt;i&gt;&quot;&amp;amp&#39;+%20 \xC3\xBC-000401"));
}

TEST_P(UserPagingTest, HundredThousandUsersGiveSmallPages) {
  UseUsers(100000);
  const std::string last = List("Page=500");
  EXPECT_THAT(last, HasSubstr("<p>Users 99801 to 100000 of 100000."));
  EXPECT_THAT(last, HasSubstr("value=\"user100000\""));
  for (const std::string& page : {last, Post("DelUser"), Post("ChangeUser", "Find=user0")}) {
    EXPECT_LT(page.size(), 200u * 1024);
    EXPECT_THAT(page, HasSubstr("</html>"));
  }
}

// A typed name must exist: a miss neither confirms a deletion nor opens a new user's form.
TEST_P(UserPagingTest, ChoosersTakeATypedNameThatMustExist) {
  UseUsers(201);
  const std::string del = Post("DelUser");
  EXPECT_THAT(del, HasSubstr("<input type=\"hidden\" name=\"MustExist\" value=\"1\">\n"
                             "<p><b>Username:</b> <input type=\"text\" name=\"User\" size=\"20\" "
                             "value=\"\"> <input type=\"submit\" value=\"Delete\" name=\"B1\">"));
  EXPECT_THAT(del, Not(HasSubstr("<select")));
  EXPECT_THAT(del, HasSubstr("user000200<br>\n</p>"));
  EXPECT_THAT(Post("ChangeUser"), HasSubstr("action=\"/scripts/" + std::string(GetParam().name) +
                                            "?Action=EditUser\">"));

  const std::string before = site_.Config();
  const ino_t inode = Inode(site_.config_path());
  EXPECT_THAT(Post("DelUserDo", "MustExist=1&User=nobody"),
              HasSubstr("User <b>nobody</b> not found !"));
  EXPECT_THAT(Post("EditUser", "MustExist=1&User=%3Cb%3E"),
              HasSubstr("User <b>&lt;b&gt;</b> not found !"));
  EXPECT_EQ(Inode(site_.config_path()), inode);
  EXPECT_EQ(site_.Config(), before);

  EXPECT_THAT(Post("EditUser", "MustExist=1&User=USER000007"),
              HasSubstr("<p><b>Username:</b> USER000007</p>"));
  EXPECT_THAT(Post("DelUserDo", "MustExist=1&User=USER000007"),
              HasSubstr("User <b>USER000007</b> deleted from authority"));
  EXPECT_EQ(UserNames(site_.config_path(), "Staff").size(), 200u);
}

}  // namespace
}  // namespace vard::test
