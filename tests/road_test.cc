// The whole road through the system with the built deliverables: the administration program
// sets up a site from a configuration holding only the empty top sections, the filter library
// authenticates its user and logs the decisions, the log viewer shows them, and the site's own
// administrator changes the users, which the filter picks up after reloading the file.
#include <dirent.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/cgi_runner.h"
#include "tests/filter_host.h"

namespace vard::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr char kHost[] = "intranet";
constexpr char kPort[] = "8080";

std::vector<std::string> DirectoryNames(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(path.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  return names;
}

class RoadTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteFile(config_, kEmptyConfig));
    ASSERT_EQ(mkdir(backups_.c_str(), 0755), 0);
  }
  void TearDown() override { unsetenv("VARDOMAR_REGISTRY"); }

  CgiRequest Request(std::string_view program, std::string_view action, std::string body) {
    CgiRequest request;
    request.query_string = "Action=" + std::string(action);
    request.body = std::move(body);
    request.script_name = "/scripts/" + std::string(program);
    request.server_name = kHost;
    request.server_port = kPort;
    request.registry = registry_;
    return request;
  }
  std::string Admin(std::string_view action, std::string body = {}) {
    CgiResponse response = RunCgi(ProgramPath("vardadmin"), Request("vardadmin", action, body));
    EXPECT_EQ(response.exit_status, 0) << action << response.err;
    return response.Body();
  }
  std::string Site(std::string_view action, std::string body = {}) {
    CgiResponse response = RunCgi(ProgramPath("vardsite"), Request("vardsite", action, body));
    EXPECT_EQ(response.exit_status, 0) << action << response.err;
    return response.Body();
  }
  AuthResult Authenticate(const FilterLibrary& filter, std::string_view user,
                          std::string_view password) {
    return filter.Authenticate(ScriptedRequest::For(kHost, kPort, user, password, "/staff/"));
  }

  TempDir dir_;
  const std::string registry_ = dir_.File("registry");
  const std::string config_ = dir_.File("vardomar.cfg");
  const std::string log_ = dir_.File("auth.log");
  const std::string backups_ = dir_.File("backups");
};

TEST_F(RoadTest, FromEmptyConfigurationToAuthenticatedVisitorsAndBack) {
  // The global administrator stores the location, then sets the site up page by page.
  EXPECT_THAT(Admin("Config", FormBody({{"Config", config_}, {"Backup", backups_}})),
              HasSubstr("Configuration saved."));
  Admin("MainScreenDo", FormBody({{"LogFile", log_}}));
  EXPECT_THAT(
      Admin("NTAccAddDo",
            FormBody({{"User", "webstaff"}, {"Pass", "nt-secret"}, {"Pass2", "nt-secret"}})),
      HasSubstr("NT Account <b>webstaff</b> added successfuly."));
  EXPECT_THAT(Admin("AuthAddDo", FormBody({{"Authority", "Staff"}})),
              HasSubstr("Authority <b>Staff</b> created."));
  EXPECT_THAT(
      Admin("BindAddDo", FormBody({{"Host", kHost}, {"Port", kPort}, {"Authority", "Staff"}})),
      HasSubstr("will be authenticated in authority: <b>Staff</b>"));
  // The menu's way to the add form: the authority chooser forwards to AddUser.
  CgiRequest chooser = Request("vardadmin", "SelectAuthority", "");
  chooser.query_string = "Action=SelectAuthority&PostAction=AddUser";
  EXPECT_THAT(RunCgi(ProgramPath("vardadmin"), chooser).Body(),
              HasSubstr("<option value=\"Staff\">Staff</option>"));
  EXPECT_THAT(Admin("AddUser", FormBody({{"Authority", "Staff"}})),
              HasSubstr("<option value=\"webstaff\">webstaff</option>"));
  EXPECT_THAT(Admin("AddUserDo", FormBody({{"Authority", "Staff"},
                                           {"User", "alice"},
                                           {"Pass", "alice-pw"},
                                           {"MapTo", "ON"},
                                           {"NTAcc", "webstaff"},
                                           {"Expire", ""},
                                           {"noexpiration", "1"},
                                           {"B1", "Submit"}})),
              HasSubstr("User <b>alice</b> added to authority <B>Staff</B>"));

  // The web server loads the filter, which reads the store the administrator wrote.
  setenv("VARDOMAR_REGISTRY", registry_.c_str(), 1);
  std::string error;
  std::unique_ptr<FilterLibrary> filter = FilterLibrary::Load({}, &error);
  ASSERT_NE(filter, nullptr) << error;

  AuthResult accepted = Authenticate(*filter, "alice", "alice-pw");
  EXPECT_EQ(accepted.status, SF_STATUS_REQ_HANDLED_NOTIFICATION);
  EXPECT_EQ(accepted.status_lines_sent, 0);
  EXPECT_EQ(accepted.user, "webstaff");
  EXPECT_EQ(accepted.password, "nt-secret");
  AuthResult refused = Authenticate(*filter, "alice", "wrong");
  EXPECT_EQ(refused.status, SF_STATUS_REQ_HANDLED_NOTIFICATION);
  EXPECT_EQ(refused.status_line, "401 Access Denied");
  EXPECT_EQ(refused.user, "alice");
  EXPECT_EQ(refused.password, "wrong");

  // Both decisions are in the log, and the viewer lists them.
  const std::string log = ReadFile(log_);
  EXPECT_THAT(log, HasSubstr(", OK Authenticated (UserName UserDB), alice, Staff, /staff/, "
                             "intranet\n"));
  EXPECT_THAT(log, HasSubstr(", Invalid password (UserName UserDB), alice, Staff, /staff/, "
                             "intranet\n"));
  const std::string viewer = Admin("ViewLog", FormBody({{"type", "-1"}}));
  EXPECT_THAT(viewer, HasSubstr(">0</td>"));
  EXPECT_THAT(viewer, HasSubstr("> OK Authenticated (UserName UserDB)</td>"));
  EXPECT_THAT(viewer, HasSubstr(">4</td>"));
  EXPECT_THAT(viewer, HasSubstr("> Invalid password (UserName UserDB)</td>"));
  EXPECT_THAT(Admin("ViewLog", FormBody({{"type", "4"}})), Not(HasSubstr("OK Authenticated")));
  EXPECT_TRUE(DirectoryNames(backups_).empty());

  // The site's administrator, on the bound host and port, sees the authority's user and
  // manages the users.
  EXPECT_THAT(Site(""), HasSubstr("<td bgcolor=\"#E0E0E0\">alice</td>"));
  EXPECT_THAT(Site("AddUserDo", FormBody({{"User", "bob"},
                                          {"Pass", "bob-pw"},
                                          {"MapTo", "ON"},
                                          {"NTAcc", "webstaff"},
                                          {"noexpiration", "1"}})),
              HasSubstr("User <b>bob</b> added to authority <B>Staff</B>"));
  EXPECT_THAT(Site("ChangeUserDo", FormBody({{"User", "alice"},
                                             {"Pass", "alice-new"},
                                             {"MapTo", "ON"},
                                             {"NTAcc", "webstaff"},
                                             {"noexpiration", "1"}})),
              HasSubstr("User <b>alice</b> changed in authority <B>Staff</B>"));

  // The next request reloads the changed file behind one backup copy of what it replaces.
  AuthResult bob = Authenticate(*filter, "bob", "bob-pw");
  EXPECT_EQ(bob.status, SF_STATUS_REQ_HANDLED_NOTIFICATION);
  EXPECT_EQ(bob.user, "webstaff");
  EXPECT_EQ(Authenticate(*filter, "alice", "alice-pw").status_line, "401 Access Denied");
  EXPECT_EQ(Authenticate(*filter, "alice", "alice-new").password, "nt-secret");
  const std::vector<std::string> copies = DirectoryNames(backups_);
  ASSERT_EQ(copies.size(), 1u);
  const std::string copy = ReadFile(backups_ + "/" + copies[0]);
  EXPECT_THAT(copy, HasSubstr("(string)Password=alice-pw"));
  EXPECT_THAT(copy, Not(HasSubstr("bob")));
}

}  // namespace
}  // namespace vard::test
