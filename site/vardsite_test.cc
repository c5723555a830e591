// vardsite run as a web server runs it: error pages, site resolution, frame, dispatch and the
// site edition of the user pages.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/config_lock.h"
#include "platform/settings_key.h"
#include "schema/names.h"
#include "tests/cgi_runner.h"
#include "userpages/user_test_support.h"

namespace vard::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

constexpr char kContentStart[] = "<td valign=\"top\" bgcolor=\"#C0C0C0\" class=\"inset\">\n";
constexpr char kContentEnd[] = "</td></tr>\n</table>\n";

// What the page wrote into the content cell of the frame; "<no frame>" without one.
std::string Content(const std::string& body) {
  const size_t start = body.find(kContentStart);
  if (start == std::string::npos) return "<no frame>";
  const size_t from = start + sizeof kContentStart - 1;
  return body.substr(from, body.find(kContentEnd, from) - from);
}

class SiteTest : public testing::Test {
 protected:
  CgiRequest Request(std::string_view query, std::string_view body = {},
                     std::string host = "intranet", std::string port = "80") {
    CgiRequest request = site_.Request(query, body);
    request.script_name = "/scripts/vardsite";
    request.server_name = host;
    request.server_port = port;
    return request;
  }
  CgiResponse Run(const CgiRequest& request) { return RunCgi(ProgramPath("vardsite"), request); }
  CgiResponse Run(std::string_view query, std::string_view body = {}, std::string host = "intranet",
                  std::string port = "80") {
    return Run(Request(query, body, host, port));
  }

  CgiSite site_{kUserConfig};
};

TEST_F(SiteTest, ConfigurationThatCannotBeFoundGivesABareErrorPageAndItsCode) {
  const std::string header = kPageHeaders;
  CgiRequest no_key = Request("");
  no_key.registry = site_.dir().File("no-registry");
  CgiResponse response = Run(no_key);
  EXPECT_EQ(response.exit_status, 1);
  EXPECT_EQ(response.out, header + "<HTML><BODY>\nError: 1<BR>\n");

  // A key without the value "Configuration File".
  const std::string registry = site_.dir().File("other-registry");
  setenv("VARDOMAR_REGISTRY", registry.c_str(), 1);
  ASSERT_EQ(SettingsKey(true, Hive::kLocalMachine, kRegistryKey)
                .WriteString(kBackupDirValue, site_.dir().path()),
            1);
  unsetenv("VARDOMAR_REGISTRY");
  CgiRequest no_value = Request("Action=AddUserDo", FormBody({{"User", "x"}}));
  no_value.registry = registry;
  response = Run(no_value);
  EXPECT_EQ(response.exit_status, 2);
  EXPECT_EQ(response.out, header + "<HTML><BODY>\nError: 2<BR>\n");

  // An empty value counts as present; then the file cannot be loaded.
  ASSERT_TRUE(WriteRegistry(registry, ""));
  response = Run(no_value);
  EXPECT_EQ(response.exit_status, 3);
  EXPECT_EQ(response.out, header + "<HTML><BODY>\nError: 3<BR>\n");

  CgiSite missing_file;
  CgiRequest request = missing_file.Request("Action=Config");
  request.script_name = "/scripts/vardsite";
  response = Run(request);
  EXPECT_EQ(response.exit_status, 3);
  EXPECT_EQ(response.out, header + "<HTML><BODY>\nError: 3<BR>\n");
}

TEST_F(SiteTest, StartPageIsTheFramedUserListOfTheBoundAuthority) {
  CgiRequest request = Request("");
  request.query_string.reset();
  CgiResponse response = Run(request);
  EXPECT_EQ(response.exit_status, 0);
  EXPECT_THAT(response.out, StartsWith(kPageHeaders + std::string("<html>")));
  const std::string body = response.Body();
  EXPECT_THAT(body, HasSubstr("<title>Trevalo Vardomar (text) manager - WEB site edition</title>"));
  EXPECT_THAT(body, HasSubstr("Trevalo Vardomar version 1.5 - authority manager"));
  EXPECT_THAT(body, HasSubstr("Menu<br>\n"
                              "<a href=\"/scripts/vardsite?Action=\">User list</a><br>\n"
                              "<a href=\"/scripts/vardsite?Action=AddUser\">Add new user</a><br>\n"
                              "<a href=\"/scripts/vardsite?Action=DelUser\">Delete user</a><br>\n"
                              "<a href=\"/scripts/vardsite?Action=ChangeUser\">Change user</a>"
                              "<br>\n"));
  EXPECT_THAT(body, HasSubstr("</table>\n</body>\n</html>\n"));
  const std::string content = Content(body);
  EXPECT_THAT(content, StartsWith("Administration of users for <b>intranet</b><BR>\n"
                                  "List of registered users:<BR>\n"));
  EXPECT_THAT(content, HasSubstr("<td bgcolor=\"#E0E0E0\">carol</td>"));
  EXPECT_THAT(content, Not(HasSubstr("dave")));
  // The row forms carry the user alone.
  EXPECT_THAT(content, HasSubstr("action=\"/scripts/vardsite?Action=DelUserDo\">\n"
                                 "<input type=\"hidden\" name=\"User\" value=\"bob\">\n"
                                 "<input type=\"submit\" value=\"Delete\" name=\"B1\">"));
  EXPECT_THAT(content, Not(HasSubstr("name=\"Authority\"")));
}

TEST_F(SiteTest, TheSiteIsFoundByHostAndPortIgnoringTheHostsCase) {
  EXPECT_THAT(Content(Run("", {}, "INTRANET", "80").Body()), HasSubstr("for <b>INTRANET</b><BR>"));
  EXPECT_THAT(Content(Run("", {}, "INTRANET", "80").Body()), HasSubstr(">alice<"));
  const std::string other = Content(Run("", {}, "intranet", "81").Body());
  EXPECT_THAT(other, HasSubstr(">dave<"));
  EXPECT_THAT(other, Not(HasSubstr(">alice<")));
  // A host name that carries the port separator must not reach the binding of another port.
  EXPECT_THAT(Content(Run("", {}, "intranet|81", "80").Body()),
              StartsWith("<h3>No authority was defined for site answering on intranet|81:80</h3>"));
}

TEST_F(SiteTest, WithoutABoundAuthorityNothingIsDispatchedAndNothingChanges) {
  const ino_t inode = Inode(site_.config_path());
  const std::string unbound =
      "<h3>No authority was defined for site answering on intranet:8080</h3>\n"
      "For more information contact your system administrator.\n";
  for (const char* query : {"", "Action=AddUser", "Action=AddUserDo", "Action=DelUserDo"}) {
    CgiResponse response =
        Run(query, FormBody({{"User", "alice"}, {"Authority", "Staff"}}), "intranet", "8080");
    EXPECT_EQ(response.exit_status, 0);
    EXPECT_EQ(Content(response.Body()), unbound) << query;
  }
  // A binding whose authority does not exist, and the port 80 named all the same.
  EXPECT_THAT(Content(Run("Action=ChangeUser", {}, "ghost", "80").Body()),
              HasSubstr("answering on ghost:80</h3>"));
  EXPECT_THAT(Content(Run("", {}, "<b>", "80").Body()), HasSubstr("on &lt;b&gt;:80</h3>"));
  // A Host header naming a bound site that the virtual host does not answer to: the host module
  // gives no site name, whatever SERVER_NAME says.
  CgiRequest forged = Request("Action=DelUserDo", FormBody({{"User", "alice"}}));
  forged.foreign_host = true;
  EXPECT_THAT(Content(Run(forged).Body()), StartsWith("<h3>No authority was defined"));
  EXPECT_EQ(Inode(site_.config_path()), inode);
}

TEST_F(SiteTest, OnlyTheSevenUserActionsAreDispatched) {
  EXPECT_THAT(Content(Run("Action=adduser").Body()), StartsWith("<p><b>Add user</b></p>"));
  for (const char* query :
       {"Action=ListAuthority", "Action=Config", "Action=MainScreen", "Action=Nothing"}) {
    EXPECT_EQ(Content(Run(query).Body()), "") << query;
  }
}

TEST_F(SiteTest, SiteFormsDifferFromTheAdministrationOnes) {
  const std::string add = Content(Run("Action=AddUser").Body());
  EXPECT_THAT(add, HasSubstr("action=\"/scripts/vardsite?Action=AddUserDo\">\n"
                             "<p><b>Username:</b>"));
  EXPECT_THAT(add, HasSubstr("<option value=\"WebOther\">WebOther</option>"));

  const std::string edit = Content(Run("Action=EditUser", FormBody({{"User", "alice"}})).Body());
  EXPECT_THAT(edit, HasSubstr("action=\"/scripts/vardsite?Action=ChangeUserDo\">\n"
                              "<input type=\"hidden\" name=\"User\" value=\"alice\">\n"
                              "<p><b>Username:</b> alice</p>"));
  EXPECT_THAT(edit, HasSubstr("<option selected value=\"WebOther\">"));

  // The delete list is a drop-down list, so the browser preselects its first user; the
  // choosers carry whatever Authority was posted, which no site page sets.
  const std::string del = Content(Run("Action=DelUser").Body());
  EXPECT_THAT(del, HasSubstr("<input type=\"hidden\" name=\"Authority\" value=\"\">\n"
                             "<p><select size=\"1\" name=\"User\">\n"
                             "<option value=\"alice\">alice</option>\n"));
  const std::string change =
      Content(Run("Action=ChangeUser", FormBody({{"Authority", "x\"y"}})).Body());
  EXPECT_THAT(change, HasSubstr("<input type=\"hidden\" name=\"Authority\" value=\"x&quot;y\">\n"
                                "<p><select size=\"12\" name=\"User\">\n"));
}

TEST_F(SiteTest, OperationsWorkOnTheSitesAuthorityAndNameIt) {
  // A posted Authority is ignored: the site's binding decides.
  CgiResponse added = Run("Action=AddUserDo", FormBody({{"Authority", "Other"},
                                                        {"User", "erin"},
                                                        {"Pass", "e"},
                                                        {"MapTo", "ON"},
                                                        {"NTAcc", "webstaff"}}));
  EXPECT_EQ(Content(added.Body()), "User <b>erin</b> added to authority <B>Staff</B>\n");
  EXPECT_EQ(UserNames(site_.config_path(), "Staff"),
            (std::vector<std::string>{"alice", "bob", "carol", "erin"}));
  EXPECT_EQ(UserNames(site_.config_path(), "Other"), (std::vector<std::string>{"dave"}));

  EXPECT_EQ(Content(Run("Action=AddUserDo", FormBody({{"User", "Erin"}, {"Pass", "e"}})).Body()),
            "User <B>Erin</B> already exist in authority <B>Staff</b>\n");
  EXPECT_EQ(Content(Run("Action=AddUserDo", FormBody({{"User", ""}})).Body()),
            "User name can not be empty !\n");
  const std::string before = site_.Config();
  for (const char* action : {"Action=AddUserDo", "Action=ChangeUserDo"}) {
    EXPECT_EQ(Content(Run(action, FormBody({{"User", "zed"}, {"Pass", ""}})).Body()),
              "Password can not be empty ! Nothing was changed.\n");
  }
  EXPECT_EQ(site_.Config(), before);

  CgiResponse changed = Run("Action=ChangeUserDo",
                            FormBody({{"User", "alice"}, {"Pass", "n"}, {"Expire", "1/1/2040"}}));
  EXPECT_EQ(Content(changed.Body()),
            "User <b>alice</b> changed in authority <B>Staff</B>\n<BR><I><B>Warning:</B> Dates "
            "after year 2037 not supported - user authentication will fail if expiration is "
            "enabled !</I>");
  EXPECT_EQ(UserBlock(site_.Config(), "alice"),
            "{ alice:\n(string)Password=n\n(int)DoNotMap=1\n(string)expiredate=1/1/2040\n"
            "(int)noexpiration=0\n(int)disabled=0\n} alice;\n");

  EXPECT_EQ(Content(Run("Action=DelUserDo", FormBody({{"User", "bob"}}), "intranet", "80").Body()),
            "User <b>bob</b> deleted from authority <B>Staff</B>\n");
  EXPECT_EQ(UserNames(site_.config_path(), "Staff"),
            (std::vector<std::string>{"alice", "carol", "erin"}));
  EXPECT_THAT(Content(Run("Action=DelUserDo", FormBody({{"User", "ExpirationRequired"}})).Body()),
              HasSubstr("is reserved for an option of authority <B>Staff</B>"));
  EXPECT_THAT(site_.Config(), HasSubstr("(int)ExpirationRequired=1"));
}

// Both programs change the file under one lock: while it is held elsewhere they wait, and
// neither change is lost.
TEST_F(SiteTest, BothProgramsWaitForTheLockAndKeepEachOthersChanges) {
  auto lock = std::make_unique<ConfigLock>(site_.config_path(), LockMode::kExclusive);
  ASSERT_TRUE(lock->Held());
  CgiRequest admin = site_.Request(
      "Action=AddUserDo", FormBody({{"Authority", "Staff"}, {"User", "fromadmin"}, {"Pass", "a"}}));
  CgiProcess admin_process(ProgramPath("vardadmin"), admin);
  CgiProcess site_process(
      ProgramPath("vardsite"),
      Request("Action=AddUserDo", FormBody({{"User", "fromsite"}, {"Pass", "s"}})));
  usleep(300 * 1000);
  EXPECT_TRUE(admin_process.Running());
  EXPECT_TRUE(site_process.Running());
  lock.reset();
  EXPECT_THAT(admin_process.Wait().out, HasSubstr("<b>fromadmin</b> added to"));
  EXPECT_THAT(site_process.Wait().out, HasSubstr("<b>fromsite</b> added to"));
  const std::vector<std::string> users = UserNames(site_.config_path(), "Staff");
  EXPECT_THAT(users, testing::Contains("fromadmin"));
  EXPECT_THAT(users, testing::Contains("fromsite"));
}

}  // namespace
}  // namespace vard::test
