// Process tests of the Windows account pages: vardadmin run as a CGI program against a
// configuration in a temporary directory.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "admin/pages_test_support.h"

namespace vard::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr char kTwoAccounts[] =
    "{ MAIN:\n"
    "    { SERVERS:\n"
    "    } SERVERS;\n"
    "} MAIN;\n"
    "{ NTACCOUNTS:\n"
    "    (string)Stray=not an account\n"
    "    { WebUser:\n"
    "        (string)Password=old\n"
    "    } WebUser;\n"
    "    { nopass:\n"
    "    } nopass;\n"
    "} NTACCOUNTS;\n"
    "{ ACCOUNTS:\n"
    "} ACCOUNTS;\n";

TEST(NtAccountPages, FormsPostToTheirOperationsAndListOnlyAccountSections) {
  CgiSite site(kTwoAccounts);
  const AdminPage add = RunAdmin(site, "NTAccAdd");
  EXPECT_THAT(add.content, HasSubstr("<p><b>Add NT Account</b></p>"));
  EXPECT_THAT(add.content, HasSubstr("action=\"/scripts/vardadmin?Action=NTAccAddDo\""));
  for (const char* field : {"name=\"User\"", "name=\"Pass\"", "name=\"Pass2\""}) {
    EXPECT_THAT(add.content, HasSubstr(field));
  }

  for (const char* action : {"NTAccDel", "NTAccPass"}) {
    SCOPED_TRACE(action);
    const AdminPage page = RunAdmin(site, action);
    EXPECT_THAT(page.content, HasSubstr("<option value=\"WebUser\">WebUser</option>"));
    EXPECT_THAT(page.content, HasSubstr("<option value=\"nopass\">nopass</option>"));
    EXPECT_THAT(page.content, Not(HasSubstr("Stray")));
  }
  EXPECT_THAT(RunAdmin(site, "NTAccDel").content, HasSubstr("name=\"NTAccount\""));
}

TEST(NtAccountPages, AddStoresTheAccountAndItsPassword) {
  CgiSite site(kEmptyConfig);
  const AdminPage page = RunAdmin(
      site, "NTAccAddDo", FormBody({{"User", "web user"}, {"Pass", "pw"}, {"Pass2", "pw"}}));
  EXPECT_EQ(page.content, "NT Account <b>web user</b> added successfuly. ");
  EXPECT_STREQ(LoadConfig(site)
                   ->GetSection("NTACCOUNTS")
                   ->GetSection("web user")
                   ->GetValue("Password")
                   ->GetString(),
               "pw");

  // Both password fields empty is a valid (empty) password.
  RunAdmin(site, "NTAccAddDo", FormBody({{"User", "nobody"}}));
  EXPECT_FALSE(LoadConfig(site)->GetSection("NTACCOUNTS")->GetSection("nobody")->IsNull());
}

TEST(NtAccountPages, AddRefusesWhatItCannotStoreAndChangesNothing) {
  const std::string longest_name(255, 'n');
  const std::string longest_password(511, 'p');
  struct Case {
    std::string user, pass, pass2, message;
  } cases[] = {
      {"", "a", "a", "User name not specified !"},
      {"fresh", "Secret", "secret", "Password entries do not match !"},
      {"webuser", "a", "a", "Account allready exist !"},
      {"dom:user", "a", "a", "can not be used"},
      {"semi;colon", "a", "a", "can not be used"},
      {"tab\there", "a", "a", "can not be used"},
      {"line\nbreak", "a", "a", "can not be used"},
      {longest_name + "n", "a", "a", "can not be used"},
      {"fresh", "a\rb", "a\rb", "Password can not be used"},
      {"fresh", "a\nb", "a\nb", "Password can not be used"},
      {"fresh", longest_password + "p", longest_password + "p", "Password can not be used"},
      {"Stray", "a", "a", "Internal error - can not add section for new NT account !"},
  };
  CgiSite site(kTwoAccounts);
  const FileState before = StateOf(site.config_path());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user + " / " + c.pass);
    const AdminPage page = RunAdmin(
        site, "NTAccAddDo", FormBody({{"User", c.user}, {"Pass", c.pass}, {"Pass2", c.pass2}}));
    EXPECT_THAT(page.content, HasSubstr(c.message));
    EXPECT_THAT(page.content, Not(HasSubstr("added successfuly")));
    EXPECT_EQ(StateOf(site.config_path()), before);
  }

  // The limits themselves are storable.
  const AdminPage page = RunAdmin(
      site, "NTAccAddDo",
      FormBody({{"User", longest_name}, {"Pass", longest_password}, {"Pass2", longest_password}}));
  EXPECT_THAT(page.content, HasSubstr("added successfuly"));
  EXPECT_STREQ(LoadConfig(site)
                   ->GetSection("NTACCOUNTS")
                   ->GetSection(longest_name)
                   ->GetValue("Password")
                   ->GetString(),
               longest_password.c_str());
}

TEST(NtAccountPages, DeleteSavesEvenWhenThereIsNothingToDelete) {
  CgiSite site(kTwoAccounts);
  EXPECT_EQ(RunAdmin(site, "NTAccDelDo", FormBody({{"NTAccount", "WEBUSER"}})).content,
            "Account deleted.");
  EXPECT_TRUE(LoadConfig(site)->GetSection("NTACCOUNTS")->GetSection("WebUser")->IsNull());

  const FileState before = StateOf(site.config_path());
  EXPECT_EQ(RunAdmin(site, "NTAccDelDo", FormBody({{"NTAccount", "ghost"}})).content,
            "Account deleted.");
  const FileState after = StateOf(site.config_path());
  EXPECT_NE(after.inode, before.inode);
  EXPECT_EQ(after.content, before.content);
}

TEST(NtAccountPages, PasswordChangeSetsOrAddsThePassword) {
  CgiSite site(kTwoAccounts);
  EXPECT_EQ(RunAdmin(site, "NTAccPassDo",
                     FormBody({{"User", "webuser"}, {"Pass", "new"}, {"Pass2", "new"}}))
                .content,
            "Password of NT Account <b>webuser</b> changed successfuly. ");
  EXPECT_EQ(RunAdmin(site, "NTAccPassDo",
                     FormBody({{"User", "nopass"}, {"Pass", "first"}, {"Pass2", "first"}}))
                .content,
            "Password of NT Account <b>nopass</b> changed successfuly. ");
  const std::unique_ptr<TreeSection> config = LoadConfig(site);
  const TreeSection* accounts = config->GetSection("NTACCOUNTS");
  EXPECT_STREQ(accounts->GetSection("WebUser")->GetValue("Password")->GetString(), "new");
  EXPECT_EQ(accounts->GetSection("WebUser")->Count(), 1);
  const TreeSection* added = accounts->GetSection("nopass");
  ASSERT_EQ(added->Count(), 1);
  EXPECT_STREQ(added->At(1)->GetName(), "password");
  EXPECT_STREQ(added->GetValue("Password")->GetString(), "first");
}

TEST(NtAccountPages, PasswordChangeRefusals) {
  CgiSite site(kTwoAccounts);
  const FileState before = StateOf(site.config_path());
  struct Case {
    std::string user, pass, pass2, message;
  } cases[] = {
      {"ghost", "a", "a", "User name not found !<BR>"},
      {"Stray", "a", "a", "User name not found !<BR>"},
      {"WebUser", "a", "A", "Password entries do not match !"},
      {"WebUser", "a\r\nb", "a\r\nb", "Password can not be used"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user);
    const AdminPage page = RunAdmin(
        site, "NTAccPassDo", FormBody({{"User", c.user}, {"Pass", c.pass}, {"Pass2", c.pass2}}));
    EXPECT_THAT(page.content, HasSubstr(c.message));
    EXPECT_EQ(StateOf(site.config_path()), before);
  }
}

TEST(NtAccountPages, NamesAreEscapedInMessagesAndLists) {
  CgiSite site(kEmptyConfig);
  const AdminPage added = RunAdmin(
      site, "NTAccAddDo", FormBody({{"User", "<i>\"x\"&'y'"}, {"Pass", ""}, {"Pass2", ""}}));
  EXPECT_EQ(added.content,
            "NT Account <b>&lt;i&gt;&quot;x&quot;&amp;&#39;y&#39;</b> added successfuly. ");
  EXPECT_THAT(RunAdmin(site, "NTAccDel").content,
              HasSubstr("<option value=\"&lt;i&gt;&quot;x&quot;&amp;&#39;y&#39;\">"
                        "&lt;i&gt;&quot;x&quot;&amp;&#39;y&#39;</option>"));
}

TEST(NtAccountPages, AddCreatesAMissingAccountSection) {
  CgiSite site("");
  EXPECT_THAT(
      RunAdmin(site, "NTAccAddDo", FormBody({{"User", "solo"}, {"Pass", "p"}, {"Pass2", "p"}}))
          .content,
      HasSubstr("added successfuly"));
  EXPECT_STREQ(LoadConfig(site)
                   ->GetSection("NTACCOUNTS")
                   ->GetSection("solo")
                   ->GetValue("Password")
                   ->GetString(),
               "p");
}

TEST(NtAccountPages, AFailedSaveIsReportedInsteadOfSuccess) {
  CgiSite site(kTwoAccounts);
  const FileState before = StateOf(site.config_path());
  CgiRequest request =
      site.Request("Action=NTAccAddDo", FormBody({{"User", "big"}, {"Pass", "p"}, {"Pass2", "p"}}));
  request.file_size_limit = 16;
  const CgiResponse response = RunCgi(ProgramPath("vardadmin"), request);
  EXPECT_THAT(response.out, HasSubstr("Configuration could not be saved"));
  EXPECT_THAT(response.out, Not(HasSubstr("added successfuly")));
  EXPECT_EQ(StateOf(site.config_path()), before);
}

}  // namespace
}  // namespace vard::test
