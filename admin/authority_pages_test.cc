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
    "{ NTACCOUNTS:\n"
    "} NTACCOUNTS;\n"
    "{ ACCOUNTS:\n"
    "    (int)Stray=1\n"
    "    { staff:\n"
    "        (int)ExpirationRequired=1\n"
    "        { alice:\n"
    "            (string)Password=a\n"
    "        } alice;\n"
    "    } staff;\n"
    "    { guests:\n"
    "        (int)ExpirationRequired=0\n"
    "    } guests;\n"
    "} ACCOUNTS;\n";

TEST(AuthorityPages, AddStoresTheExpirationPolicy) {
  CgiSite site(kAuthorities);
  EXPECT_EQ(RunAdmin(site, "AuthAddDo", FormBody({{"Authority", "Open"}})).content,
            "Authority <b>Open</b> created.");
  EXPECT_EQ(
      RunAdmin(site, "AuthAddDo", FormBody({{"Authority", "Strict"}, {"ExpirationRequired", "1"}}))
          .content,
      "Authority <b>Strict</b> created.");
  const std::unique_ptr<TreeSection> config = LoadConfig(site);
  const TreeSection* open = config->GetSection("ACCOUNTS")->GetSection("Open");
  ASSERT_FALSE(open->IsNull());
  EXPECT_FALSE(open->GetValue("ExpirationRequired")->IsNull());
  EXPECT_EQ(open->GetValue("ExpirationRequired")->GetInt(), 0);
  EXPECT_EQ(config->GetSection("ACCOUNTS")
                ->GetSection("Strict")
                ->GetValue("ExpirationRequired")
                ->GetInt(),
            1);
}

TEST(AuthorityPages, AddRefusals) {
  const std::string longest(255, 'a');
  struct Case {
    std::string name, message;
  } cases[] = {
      {"", "Authority name can not be empty !"},
      {"Staff", "Authority <b>Staff</b> already exist !"},
      {"STRAY", "Authority <b>STRAY</b> already exist !"},
      {"a:b", "Authority name <b>a:b</b> can not be used"},
      {"a;b", "can not be used"},
      {"a\rb", "can not be used"},
      {longest + "a", "can not be used"},
  };
  CgiSite site(kAuthorities);
  const FileState before = StateOf(site.config_path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const AdminPage page = RunAdmin(site, "AuthAddDo", FormBody({{"Authority", c.name}}));
    EXPECT_THAT(page.content, HasSubstr(c.message));
    EXPECT_THAT(page.content, Not(HasSubstr("created")));
    EXPECT_EQ(StateOf(site.config_path()), before);
  }
  EXPECT_THAT(RunAdmin(site, "AuthAddDo", FormBody({{"Authority", longest}})).content,
              HasSubstr("created."));
}

TEST(AuthorityPages, DeleteRemovesTheUsersAndSavesEvenWhenNothingWasThere) {
  CgiSite site(kAuthorities);
  EXPECT_EQ(RunAdmin(site, "AuthDelDo", FormBody({{"Authority", "STAFF"}})).content,
            "Authority <b>STAFF</b> deleted. ");
  const std::unique_ptr<TreeSection> config = LoadConfig(site);
  EXPECT_TRUE(config->GetSection("ACCOUNTS")->GetSection("staff")->IsNull());
  // The binding to it stays, as the page warns.
  EXPECT_STREQ(config->GetSection("MAIN")->GetSection("SERVERS")->GetValue("intranet")->GetString(),
               "staff");

  const FileState before = StateOf(site.config_path());
  EXPECT_EQ(RunAdmin(site, "AuthDelDo", FormBody({{"Authority", "ghost"}})).content,
            "Authority <b>ghost</b> deleted. ");
  EXPECT_NE(StateOf(site.config_path()).inode, before.inode);
}

TEST(AuthorityPages, ListsOfferTheAuthoritySectionsOnly) {
  CgiSite site(kAuthorities);
  const AdminPage del = RunAdmin(site, "AuthDel");
  EXPECT_THAT(del.content, HasSubstr("<select size=\"12\" name=\"Authority\">\n"
                                     "<option value=\"staff\">staff</option>\n"
                                     "<option value=\"guests\">guests</option>\n</select>"));
  EXPECT_THAT(del.content, HasSubstr("action=\"/scripts/vardadmin?Action=AuthDelDo\""));

  const AdminPage edit = RunAdmin(site, "AuthRen");
  EXPECT_EQ(CountOf(edit.content, "action=\"/scripts/vardadmin?Action=AuthRenDo\""), 2);
  EXPECT_THAT(edit.content, HasSubstr("<input type=\"hidden\" name=\"Authority\" value=\"staff\">"
                                      "<input type=\"text\" name=\"NewName\" size=\"30\" "
                                      "value=\"staff\">"));
  EXPECT_THAT(edit.content, HasSubstr("value=\"1\" checked>Expiration required"));
  EXPECT_EQ(CountOf(edit.content, " checked>"), 1);
  EXPECT_THAT(edit.content, Not(HasSubstr("Stray")));
}

TEST(AuthorityPages, RenameKeepsUsersAndSetsThePolicy) {
  CgiSite site(kAuthorities);
  EXPECT_EQ(
      RunAdmin(site, "AuthRenDo", FormBody({{"Authority", "staff"}, {"NewName", "Crew"}})).content,
      "Authority <b>staff</b> changed successfuly !");
  std::unique_ptr<TreeSection> config = LoadConfig(site);
  const TreeSection* accounts = config->GetSection("ACCOUNTS");
  EXPECT_TRUE(accounts->GetSection("staff")->IsNull());
  const TreeSection* crew = accounts->GetSection("Crew");
  EXPECT_FALSE(crew->GetSection("alice")->IsNull());
  EXPECT_EQ(crew->GetValue("ExpirationRequired")->GetInt(), 0);
  EXPECT_EQ(accounts->IndexOf("Crew"), 2);

  // Same name in another spelling, policy switched on.
  RunAdmin(site, "AuthRenDo",
           FormBody({{"Authority", "crew"}, {"NewName", "CREW"}, {"ExpirationRequired", "1"}}));
  config = LoadConfig(site);
  EXPECT_STREQ(config->GetSection("ACCOUNTS")->At(2)->GetName(), "CREW");
  EXPECT_EQ(
      config->GetSection("ACCOUNTS")->GetSection("crew")->GetValue("ExpirationRequired")->GetInt(),
      1);
}

TEST(AuthorityPages, RenameRefusals) {
  struct Case {
    std::string name, new_name, message;
  } cases[] = {
      {"ghost", "x", "Authority <b>ghost</b> not found !"},
      {"Stray", "x", "Authority <b>Stray</b> not found !"},
      {"staff", "", "Authority <b>staff</b> not changed - name can not be empty !"},
      {"staff", "GUESTS",
       "Authority <b>staff</b> not changed - the name <b>GUESTS</b> is already in use !"},
      {"staff", "stray", "not changed - the name <b>stray</b> is already in use !"},
      {"staff", "a;b", "Authority name <b>a;b</b> can not be used"},
      {"staff", std::string(256, 'x'), "can not be used"},
  };
  CgiSite site(kAuthorities);
  const FileState before = StateOf(site.config_path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + " -> " + c.new_name);
    const AdminPage page = RunAdmin(
        site, "AuthRenDo",
        FormBody({{"Authority", c.name}, {"NewName", c.new_name}, {"ExpirationRequired", "1"}}));
    EXPECT_THAT(page.content, HasSubstr(c.message));
    EXPECT_EQ(StateOf(site.config_path()), before);
  }
}

TEST(AuthorityPages, ChooserForwardsToThePostAction) {
  CgiSite site(kAuthorities);
  const AdminPage page = RunAdminQuery(site, "Action=SelectAuthority&PostAction=AddUser");
  EXPECT_THAT(page.content, HasSubstr("<p><b>Select Authority</b></p>"));
  EXPECT_THAT(page.content, HasSubstr("action=\"/scripts/vardadmin?Action=AddUser\""));
  EXPECT_THAT(page.content, HasSubstr("<select size=\"1\" name=\"Authority\">"));
  EXPECT_THAT(page.content, HasSubstr("<option value=\"guests\">guests</option>"));
  EXPECT_THAT(page.content, HasSubstr("value=\"Next &gt;&gt;\" name=\"B1\""));

  const AdminPage hostile =
      RunAdminQuery(site, "Action=SelectAuthority&PostAction=%22%3E%3Cscript%3E");
  EXPECT_THAT(hostile.content, Not(HasSubstr("<script>")));
  EXPECT_THAT(hostile.content,
              HasSubstr("action=\"/scripts/vardadmin?Action=%22%3E%3Cscript%3E\">"));
}

TEST(AuthorityPages, AddCreatesAMissingAuthoritySectionAndEscapesNames) {
  CgiSite site("");
  EXPECT_EQ(RunAdmin(site, "AuthAddDo", FormBody({{"Authority", "<b>&"}})).content,
            "Authority <b>&lt;b&gt;&amp;</b> created.");
  EXPECT_FALSE(LoadConfig(site)->GetSection("ACCOUNTS")->GetSection("<b>&")->IsNull());
  EXPECT_THAT(RunAdmin(site, "AuthRen").content,
              HasSubstr("name=\"Authority\" value=\"&lt;b&gt;&amp;\""));
}

}  // namespace
}  // namespace vard::test
