// Process tests of the authority pages and the authority chooser.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "admin/pages_test_support.h"

namespace vard::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr char kAuthorities[] =
    "{ MAIN:\n"
    "    { SERVERS:\n"
    "        (string)intranet=staff\n"
    "    } SERVERS;\n"
    "} MAIN;\n"
    "{ ACCOUNTS:\n"
    "    (int)Stray=1\n"
    "    { staff:\n"
    "        (int)ExpirationRequired=1\n"
    "        { alice:\n"
    "        } alice;\n"
    "    } staff;\n"
    "    { guests:\n"
    "        (int)ExpirationRequired=0\n"
    "    } guests;\n"
    "} ACCOUNTS;\n";

int Policy(const TreeSection& config, const char* authority) {
  return config.GetSection("ACCOUNTS")
      ->GetSection(authority)
      ->GetValue("ExpirationRequired")
      ->GetInt();
}

TEST(AuthorityPages, AddStoresThePolicyAndEscapesTheName) {
  CgiSite site("");  // a file made by hand without ACCOUNTS
  EXPECT_EQ(RunAdmin(site, "AuthAddDo", FormBody({{"Authority", "<b>&"}})).content,
            "Authority <b>&lt;b&gt;&amp;</b> created.");
  RunAdmin(site, "AuthAddDo", FormBody({{"Authority", "Strict"}, {"ExpirationRequired", "1"}}));
  const std::unique_ptr<TreeSection> config = LoadConfig(site);
  EXPECT_FALSE(
      config->GetSection("ACCOUNTS")->GetSection("<b>&")->GetValue("ExpirationRequired")->IsNull());
  EXPECT_EQ(Policy(*config, "<b>&"), 0);
  EXPECT_EQ(Policy(*config, "Strict"), 1);
  EXPECT_THAT(RunAdmin(site, "AuthRen").content,
              HasSubstr("name=\"Authority\" value=\"&lt;b&gt;&amp;\""));
}

TEST(AuthorityPages, RefusalsChangeNothing) {
  struct Case {
    const char* action;
    std::string name, new_name, message;
  } cases[] = {
      {"AuthAddDo", "", "", "Authority name can not be empty !"},
      {"AuthAddDo", "Staff", "", "Authority <b>Staff</b> already exist !"},
      {"AuthAddDo", "STRAY", "", "Authority <b>STRAY</b> already exist !"},
      {"AuthAddDo", "a:b", "", "Authority name <b>a:b</b> can not be used"},
      {"AuthAddDo", std::string(256, 'a'), "", "can not be used"},
      {"AuthRenDo", "ghost", "x", "Authority <b>ghost</b> not found !"},
      {"AuthRenDo", "Stray", "x", "Authority <b>Stray</b> not found !"},
      {"AuthRenDo", "staff", "", "Authority <b>staff</b> not changed - name can not be empty !"},
      {"AuthRenDo", "staff", "GUESTS",
       "Authority <b>staff</b> not changed - the name <b>GUESTS</b> is already in use !"},
      {"AuthRenDo", "staff", "stray", "the name <b>stray</b> is already in use !"},
      {"AuthRenDo", "staff", "a\rb", "can not be used"},
      {"AuthRenDo", "staff", "Staff ", "Authority name <b>Staff </b> can not be used"},
  };
  CgiSite site(kAuthorities);
  const FileState before = StateOf(site.config_path());
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.action) + " " + c.name + " -> " + c.new_name);
    const std::string content =
        RunAdmin(
            site, c.action,
            FormBody({{"Authority", c.name}, {"NewName", c.new_name}, {"ExpirationRequired", "1"}}))
            .content;
    EXPECT_THAT(content, HasSubstr(c.message));
    EXPECT_EQ(StateOf(site.config_path()), before);
  }
}

TEST(AuthorityPages, DeleteRemovesTheUsersAndSavesEvenWhenNothingWasThere) {
  CgiSite site(kAuthorities);
  EXPECT_EQ(RunAdmin(site, "AuthDelDo", FormBody({{"Authority", "STAFF"}})).content,
            "Authority <b>STAFF</b> deleted. ");
  const std::unique_ptr<TreeSection> config = LoadConfig(site);
  EXPECT_TRUE(config->GetSection("ACCOUNTS")->GetSection("staff")->IsNull());
  // The binding to it stays, as the page warns.
  EXPECT_FALSE(config->GetSection("MAIN")->GetSection("SERVERS")->GetValue("intranet")->IsNull());

  const FileState before = StateOf(site.config_path());
  RunAdmin(site, "AuthDelDo", FormBody({{"Authority", "ghost"}}));
  EXPECT_NE(StateOf(site.config_path()).inode, before.inode);
}

TEST(AuthorityPages, PagesListAuthoritySectionsWithTheirPolicy) {
  CgiSite site(kAuthorities);
  EXPECT_THAT(RunAdmin(site, "AuthDel").content,
              HasSubstr("<select size=\"12\" name=\"Authority\">\n"
                        "<option value=\"staff\">staff</option>\n"
                        "<option value=\"guests\">guests</option>\n</select>"));
  const std::string edit = RunAdmin(site, "AuthRen").content;
  EXPECT_EQ(CountOf(edit, "action=\"/scripts/vardadmin?Action=AuthRenDo\""), 2);
  EXPECT_THAT(edit,
              HasSubstr("<input type=\"hidden\" name=\"Authority\" value=\"staff\">"
                        "<input type=\"text\" name=\"NewName\" size=\"30\" value=\"staff\">"));
  EXPECT_EQ(CountOf(edit, "value=\"1\" checked>Expiration required"), 1);
  EXPECT_THAT(edit, Not(HasSubstr("Stray")));
}

TEST(AuthorityPages, RenameKeepsSlotAndUsersAndSetsThePolicy) {
  CgiSite site(kAuthorities);
  EXPECT_EQ(
      RunAdmin(site, "AuthRenDo", FormBody({{"Authority", "staff"}, {"NewName", "Crew"}})).content,
      "Authority <b>staff</b> changed successfuly !");
  std::unique_ptr<TreeSection> config = LoadConfig(site);
  EXPECT_EQ(config->GetSection("ACCOUNTS")->IndexOf("Crew"), 2);
  EXPECT_FALSE(config->GetSection("ACCOUNTS")->GetSection("Crew")->GetSection("alice")->IsNull());
  EXPECT_EQ(Policy(*config, "Crew"), 0);

  // The authority's own name in another spelling is no clash.
  RunAdmin(site, "AuthRenDo",
           FormBody({{"Authority", "crew"}, {"NewName", "CREW"}, {"ExpirationRequired", "1"}}));
  config = LoadConfig(site);
  EXPECT_STREQ(config->GetSection("ACCOUNTS")->At(2)->GetName(), "CREW");
  EXPECT_EQ(Policy(*config, "CREW"), 1);
}

TEST(AuthorityPages, ChooserForwardsToThePostAction) {
  CgiSite site(kAuthorities);
  const std::string page = RunAdminQuery(site, "Action=SelectAuthority&PostAction=AddUser").content;
  EXPECT_THAT(page, HasSubstr("<form method=\"POST\" accept-charset=\"UTF-8\" "
                              "action=\"/scripts/vardadmin?Action=AddUser\">"
                              "\n<p><select size=\"1\" name=\"Authority\">\n"
                              "<option value=\"staff\">staff</option>"));
  EXPECT_THAT(page, HasSubstr("value=\"Next &gt;&gt;\" name=\"B1\""));

  const std::string hostile =
      RunAdminQuery(site, "Action=SelectAuthority&PostAction=%22%3E%3Cscript%3E").content;
  EXPECT_THAT(hostile, HasSubstr("action=\"/scripts/vardadmin?Action=%22%3E%3Cscript%3E\">"));
}

}  // namespace
}  // namespace vard::test
