// vardadmin as the web server runs it: the frame, the dispatch, the location pages, the general
// options and the exit statuses, checked on its output and on the files it leaves.
#include <memory>
#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "platform/settings_key.h"
#include "schema/names.h"
#include "tests/cgi_runner.h"
#include "tree/tree_node.h"

namespace vard::test {
namespace {

using ::testing::ElementsAreArray;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

const char kContentCellOpen[] =
    "<td valign=\"top\" bgcolor=\"#C0C0C0\" class=\"inset\" width=\"100%\">\n";

// Runs vardadmin; it never writes to standard error (a sanitizer report would land there).
CgiResponse Admin(const CgiRequest& request) {
  CgiResponse response = RunCgi(ProgramPath("vardadmin"), request);
  EXPECT_EQ(response.err, "");
  return response;
}

// What the handler wrote into the content cell; "<no frame>" when there is no content cell.
std::string ContentCell(const std::string& out) {
  const size_t open = out.find(kContentCellOpen);
  if (open == std::string::npos) return "<no frame>";
  const size_t start = open + sizeof kContentCellOpen - 1;
  const size_t end = out.find("</td></tr>\n<tr><td colspan=\"2\"", start);
  return out.substr(start, end - start);
}

std::unique_ptr<TreeSection> LoadConfig(const std::string& path) {
  auto root = std::make_unique<TreeSection>(path, true);
  EXPECT_EQ(root->LoadFile(), 1) << path;
  return root;
}

std::string ReadRegistryValue(const std::string& registry, std::string_view name) {
  setenv("VARDOMAR_REGISTRY", registry.c_str(), 1);
  SettingsKey key(Hive::kLocalMachine, kRegistryKey);
  std::unique_ptr<char[]> value = key.ReadString(name);
  key.Close();
  unsetenv("VARDOMAR_REGISTRY");
  return value ? value.get() : "<absent>";
}

std::string ErrorPage(int code) {
  return kPageHeaders + ("<HTML><BODY>\nError: " + std::to_string(code)) +
         "<BR>\n"
         "Please specify at least configuration file (You can enter other parameters later):\n"
         "<form method=\"POST\" accept-charset=\"UTF-8\" "
         "action=\"/scripts/vardadmin?Action=Config\">\n"
         "<p>Configuration file (required !): <input type=\"text\" name=\"Config\" size=\"40\" "
         "value=\"\"></p>\n"
         "<p>Backup directory (must exist if specified): <input type=\"text\" name=\"Backup\" "
         "size=\"40\" value=\"\"></p>\n"
         "<p><input type=\"submit\" value=\"Submit\" name=\"B1\"></p>\n</form>\n</BODY></HTML>\n";
}

TEST(AdminFrameTest, RequestWithoutQueryShowsTheLocationPageInTheFrame) {
  CgiSite site(kEmptyConfig);
  CgiRequest request = site.Request("");
  request.query_string.reset();
  const CgiResponse response = Admin(request);
  EXPECT_EQ(response.exit_status, 0);
  EXPECT_THAT(response.out,
              StartsWith(std::string(kPageHeaders) +
                         "<html>\n<head>\n<title>Trevalo Vardomar (text) manager</title>\n"));
  EXPECT_THAT(response.out, HasSubstr("<b><i>Trevalo Vardomar version 1.5 - Administration CGI "
                                      "utility</i></b>"));
  EXPECT_THAT(response.out, EndsWith("</table>\n</body>\n</html>\n"));
  const std::string cell = ContentCell(response.out);
  EXPECT_THAT(cell, StartsWith("This is main administration tool for Trevalo ISAPI "
                               "authentication filter text version.<BR>\n"));
  EXPECT_THAT(cell, HasSubstr("\\HKEY_LOCAL_MACHINE\\Software\\Trevalo soft\\Vardomar "
                              "(Text)<BR>\nstring value: Configuration File<BR>\n"));
  EXPECT_THAT(cell, HasSubstr("<form method=\"POST\" accept-charset=\"UTF-8\" "
                              "action=\"/scripts/vardadmin?Action=Config\">"
                              "\n<p>Configuration file: <input type=\"text\" name=\"Config\" "
                              "size=\"40\" value=\"" +
                              site.config_path() + "\"></p>\n"));
  EXPECT_THAT(cell, HasSubstr("<p>Backup directory (must exist): <input type=\"text\" "
                              "name=\"Backup\" size=\"40\" value=\"\"></p>"));
}

TEST(AdminFrameTest, MenuLinksInTheirOrder) {
  CgiSite site(kEmptyConfig);
  const CgiResponse response = Admin(site.Request("Action=Nothing"));
  std::vector<std::string> links;
  for (size_t at = 0; (at = response.out.find("<a href=\"", at)) != std::string::npos;) {
    const size_t end = response.out.find("</a>", at);
    links.push_back(response.out.substr(at + 9, end - at - 9));
    at = end;
  }
  const std::string u = "/scripts/vardadmin?Action=";
  EXPECT_THAT(
      links,
      ElementsAreArray(
          {u + "\">Configuration file", u + "MainScreen\">General options",
           u + "NTAccAdd\">Add NT account", u + "NTAccDel\">Delete NT account",
           u + "NTAccPass\">Change NT account password", u + "AuthAdd\">Add new authority",
           u + "AuthDel\">Delete authority", u + "AuthRen\">Edit authority",
           u + "BindAdd\">Add new binding to site", u + "BindDel\">Delete binding to site",
           u + "SelectAuthority&PostAction=ListAuthority\">List authority",
           u + "SelectAuthority&PostAction=AddUser\">Add new user",
           u + "SelectAuthority&PostAction=DelUser\">Delete user",
           u + "SelectAuthority&PostAction=ChangeUser\">Change user", u + "ViewLog\">View log"}));
  EXPECT_THAT(response.out, HasSubstr("<tr><td nowrap class=\"outset\"><b>Menu</b></td></tr>"));
}

TEST(AdminFrameTest, ActionsAreMatchedIgnoringCaseAndUnknownOnesLeaveTheCellEmpty) {
  CgiSite site(kEmptyConfig);
  CgiResponse response = Admin(site.Request("Action=mainscreen"));
  EXPECT_EQ(response.exit_status, 0);
  EXPECT_THAT(ContentCell(response.out), StartsWith("<p><b>General options:</b></p>\n"));

  response = Admin(site.Request("Action=Nothing"));
  EXPECT_EQ(response.exit_status, 0);
  EXPECT_EQ(ContentCell(response.out), "");
  EXPECT_THAT(response.out, HasSubstr("View log</a>"));

  // Only the query string names the action; a posted one is not looked at.
  response = Admin(site.Request("", "Action=MainScreen"));
  EXPECT_THAT(ContentCell(response.out), StartsWith("This is main administration tool"));
}

TEST(AdminFrameTest, ScriptNameIsEscapedEverywhere) {
  CgiSite site(kEmptyConfig);
  CgiRequest request = site.Request("");
  request.script_name = "/s\"><script>x</script>";
  const CgiResponse response = Admin(request);
  EXPECT_THAT(response.out, Not(HasSubstr("<script>")));
  EXPECT_THAT(
      response.out,
      HasSubstr("<a href=\"/s&quot;&gt;&lt;script&gt;x&lt;/script&gt;?Action=MainScreen\">"));
}

TEST(AdminErrorTest, ExitStatusTellsWhatIsMissing) {
  TempDir dir;
  CgiRequest request;
  request.query_string = "Action=MainScreen";
  request.registry = dir.File("registry");
  CgiResponse response = Admin(request);
  EXPECT_EQ(response.exit_status, 1);
  EXPECT_EQ(response.out, ErrorPage(1));

  // The key exists, but without the value "Configuration File".
  setenv("VARDOMAR_REGISTRY", request.registry->c_str(), 1);
  SettingsKey key(true, Hive::kLocalMachine, kRegistryKey);
  ASSERT_EQ(key.WriteString(kBackupDirValue, "/tmp"), 1);
  key.Close();
  unsetenv("VARDOMAR_REGISTRY");
  response = Admin(request);
  EXPECT_EQ(response.exit_status, 2);
  EXPECT_EQ(response.out, ErrorPage(2));
}

TEST(AdminErrorTest, MissingConfigurationFileGivesCodeThreeForEveryActionButConfig) {
  CgiSite site;  // registry written, no configuration file
  for (const char* query :
       {"", "Action=MainScreen", "Action=MainScreenDo", "Action=NTAccAdd", "Action=Nothing"}) {
    const CgiResponse response = Admin(site.Request(query, "Disable=ON"));
    EXPECT_EQ(response.exit_status, 3) << query;
    EXPECT_EQ(response.out, ErrorPage(3)) << query;
  }
  EXPECT_FALSE(FileExists(site.config_path()));
}

TEST(AdminConfigTest, StoresTheLocationCreatingTheKeyWithoutTouchingTheConfiguration) {
  TempDir dir;
  ASSERT_TRUE(WriteFile(dir.File("my config.cfg"), ""));
  CgiRequest request;
  request.registry = dir.File("registry");
  request.query_string = "Action=config";
  request.body = FormBody({{"Config", dir.File("my config.cfg")}, {"Backup", "/var/backup"}});
  CgiResponse response = Admin(request);
  EXPECT_EQ(response.exit_status, 0);
  EXPECT_EQ(response.out, kPageHeaders + std::string("Configuration saved. <a "
                                                     "href=\"/scripts/vardadmin\">Click here to "
                                                     "continue ...</a>\n"));
  EXPECT_EQ(ReadRegistryValue(*request.registry, kConfigFileValue), dir.File("my config.cfg"));
  EXPECT_EQ(ReadRegistryValue(*request.registry, kBackupDirValue), "/var/backup");
  EXPECT_EQ(ReadFile(dir.File("my config.cfg")), "");
}

TEST(AdminConfigTest, RegistryThatCannotBeWrittenIsReported) {
  TempDir dir;
  ASSERT_TRUE(WriteFile(dir.File("plain-file"), "x"));
  ASSERT_TRUE(WriteFile(dir.File("x.cfg"), kEmptyConfig));
  CgiRequest request;
  request.registry = dir.File("plain-file/registry");
  request.query_string = "Action=Config";
  request.body = FormBody({{"Config", dir.File("x.cfg")}});
  const CgiResponse response = Admin(request);
  EXPECT_EQ(response.exit_status, 0);
  EXPECT_EQ(response.Body(), " Can not save configuration ! (Registry problem)<BR>\n");
}

TEST(AdminConfigTest, LocationPageEscapesTheRegistryValues) {
  TempDir dir;
  const std::string config = dir.File("a\"<b>'.cfg");
  ASSERT_TRUE(WriteFile(config, kEmptyConfig));
  ASSERT_TRUE(WriteRegistry(dir.File("registry"), config, "<dir>"));
  CgiRequest request;
  request.registry = dir.File("registry");
  const std::string cell = ContentCell(Admin(request).out);
  EXPECT_THAT(cell, HasSubstr("value=\"" + dir.File("a&quot;&lt;b&gt;&#39;.cfg") + "\""));
  EXPECT_THAT(cell, HasSubstr("value=\"&lt;dir&gt;\""));
}

TEST(AdminGeneralOptionsTest, FormShowsTheStoredOptions) {
  CgiSite site("{ MAIN:\n    (int)Disable=5\n    (string)log=/var/log/\"a<b>\".log\n} MAIN;\n");
  const std::string cell = ContentCell(Admin(site.Request("Action=MainScreen")).out);
  EXPECT_EQ(cell,
            "<p><b>General options:</b></p>\n"
            "<form method=\"POST\" accept-charset=\"UTF-8\" "
            "action=\"/scripts/vardadmin?Action=MainScreenDo\">\n"
            "<p><input type=\"checkbox\" name=\"Disable\" value=\"ON\" checked><i>Disable filter "
            "(filter will pass authentication to the IIS while disabled)</i></p>\n"
            "<p>Log file: <input type=\"text\" name=\"LogFile\" size=\"47\" "
            "value=\"/var/log/&quot;a&lt;b&gt;&quot;.log\"></p>\n"
            "<p><input type=\"submit\" value=\"Submit\" name=\"B1\"></p>\n</form>\n");

  CgiSite empty("");
  EXPECT_THAT(ContentCell(Admin(empty.Request("Action=MainScreen")).out),
              HasSubstr("value=\"ON\"><i>"));
}

TEST(AdminGeneralOptionsTest, StoresTheFlagAndTheLogPathThenShowsThem) {
  CgiSite site(kEmptyConfig);
  CgiResponse response =
      Admin(site.Request("Action=MainScreenDo", "Disable=on&LogFile=%2Fvar%2Flog%2Fa.log"));
  EXPECT_EQ(response.exit_status, 0);
  EXPECT_THAT(ContentCell(response.out), HasSubstr(" checked><i>"));
  EXPECT_THAT(ContentCell(response.out), HasSubstr("value=\"/var/log/a.log\""));
  auto root = LoadConfig(site.config_path());
  EXPECT_EQ(root->GetSection(kMain)->GetValue(kDisable)->GetInt(), 1);
  EXPECT_STREQ(root->GetSection(kMain)->GetValue(kLog)->GetString(), "/var/log/a.log");

  // Unchecked box: not posted, so 0; the log value is changed, never doubled.
  response = Admin(site.Request("Action=MainScreenDo", "LogFile=%2Fother.log"));
  root = LoadConfig(site.config_path());
  EXPECT_EQ(root->GetSection(kMain)->GetValue(kDisable)->GetInt(), 0);
  EXPECT_STREQ(root->GetSection(kMain)->GetValue(kLog)->GetString(), "/other.log");
  const std::string text = site.Config();
  EXPECT_EQ(text.find("log="), text.rfind("log=")) << text;
  EXPECT_THAT(ContentCell(response.out), HasSubstr("value=\"ON\"><i>"));
}

TEST(AdminGeneralOptionsTest, MissingMainSectionIsCreated) {
  CgiSite site("");
  Admin(site.Request("Action=MainScreenDo", "Disable=ON&LogFile="));
  auto root = LoadConfig(site.config_path());
  EXPECT_FALSE(root->GetSection(kMain)->IsNull());
  EXPECT_EQ(root->GetSection(kMain)->GetValue(kDisable)->GetInt(), 1);
  // An empty text is written, though the reader takes such a line as no value at all.
  EXPECT_THAT(site.Config(), HasSubstr("(string)log=\n"));
}

TEST(AdminGeneralOptionsTest, LogPathTheFileCannotStoreIsRefused) {
  CgiSite site(kEmptyConfig);
  const std::string before = site.Config();
  for (const std::string& log : {std::string("/a%0D%0Ab.log"), std::string(600, 'x')}) {
    const CgiResponse response =
        Admin(site.Request("Action=MainScreenDo", "Disable=ON&LogFile=" + log));
    EXPECT_THAT(ContentCell(response.out), StartsWith("Log file path can not be stored"));
    EXPECT_EQ(site.Config(), before);
  }
}

TEST(AdminGeneralOptionsTest, FailedSaveIsReportedAndTheOldFileKept) {
  CgiSite site(kEmptyConfig);
  const std::string before = site.Config();
  CgiRequest request = site.Request("Action=MainScreenDo", "Disable=ON&LogFile=%2Fa.log");
  request.file_size_limit = 0;
  const CgiResponse response = Admin(request);
  EXPECT_EQ(response.exit_status, 0);
  EXPECT_EQ(ContentCell(response.out), "Configuration could not be saved - nothing was changed. " +
                                           site.config_path() + ": File too large");
  EXPECT_EQ(site.Config(), before);
}

// An entry of a hand-edited file that the format cannot write back is named, so the
// administrator knows which line to mend.
TEST(AdminGeneralOptionsTest, SaveRefusedForAnUnwritableEntryNamesIt) {
  CgiSite site(std::string(kEmptyConfig) + "{ NTACCOUNTS:\n(int)a\rb=1\n} NTACCOUNTS;\n");
  const std::string before = site.Config();
  const CgiResponse response = Admin(site.Request("Action=MainScreenDo", "Disable=ON"));
  EXPECT_EQ(ContentCell(response.out),
            "Configuration could not be saved - nothing was changed. " + site.config_path() +
                ": the entry &quot;NTACCOUNTS/a\\x0Db&quot; cannot be written back to the file: "
                "the name holds a line break or a character that would end it in the file");
  EXPECT_EQ(site.Config(), before);
}

}  // namespace
}  // namespace vard::test
