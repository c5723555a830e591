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

constexpr char kAccounts[] =
    "{ NTACCOUNTS:\n"
    "    (string)Stray=not an account\n"
    "    { WebUser:\n"
    "        (string)Password=old\n"
    "    } WebUser;\n"
    "    { nopass:\n"
    "    } nopass;\n"
    "} NTACCOUNTS;\n";

std::string StoredPassword(const CgiSite& site, const std::string& account) {
  return LoadConfig(site)
      ->GetSection("NTACCOUNTS")
      ->GetSection(account)
      ->GetValue("Password")
      ->GetString();
}

TEST(NtAccountPages, ListsOfferAccountSectionsOnly) {
  CgiSite site(kAccounts);
  for (const char* action : {"NTAccDel", "NTAccPass"}) {
    SCOPED_TRACE(action);
    const std::string content = RunAdmin(site, action).content;
    EXPECT_THAT(content, HasSubstr("<option value=\"WebUser\">WebUser</option>\n"
                                   "<option value=\"nopass\">nopass</option>\n</select>"));
    EXPECT_THAT(content, Not(HasSubstr("Stray")));
  }
}

TEST(NtAccountPages, AddStoresTheAccountEscapingItsNameOnThePage) {
  CgiSite site("");  // a file made by hand without NTACCOUNTS
  EXPECT_EQ(RunAdmin(site, "NTAccAddDo",
                     FormBody({{"User", "<i>\"x\"&'y'"}, {"Pass", "pw"}, {"Pass2", "pw"}}))
                .content,
            "NT Account <b>&lt;i&gt;&quot;x&quot;&amp;&#39;y&#39;</b> added successfuly. ");
  EXPECT_EQ(StoredPassword(site, "<i>\"x\"&'y'"), "pw");
  EXPECT_THAT(RunAdmin(site, "NTAccDel").content,
              HasSubstr("<option value=\"&lt;i&gt;&quot;x&quot;&amp;&#39;y&#39;\">"));

  // Both password fields empty is a valid (empty) password; the limits themselves fit.
  const std::string longest_name(255, 'n'), longest_password(511, 'p');
  RunAdmin(site, "NTAccAddDo", FormBody({{"User", "nobody"}}));
  RunAdmin(
      site, "NTAccAddDo",
      FormBody({{"User", longest_name}, {"Pass", longest_password}, {"Pass2", longest_password}}));
  EXPECT_FALSE(LoadConfig(site)->GetSection("NTACCOUNTS")->GetSection("nobody")->IsNull());
  EXPECT_EQ(StoredPassword(site, longest_name), longest_password);
}

TEST(NtAccountPages, RefusalsChangeNothing) {
  struct Case {
    const char* action;
    std::string user, pass, pass2, message;
  } cases[] = {
      {"NTAccAddDo", "", "a", "a", "User name not specified !"},
      {"NTAccAddDo", "fresh", "Secret", "secret", "Password entries do not match !"},
      {"NTAccAddDo", "webuser", "a", "a", "Account allready exist !"},
      {"NTAccAddDo", "dom:user", "a", "a", "User name <b>dom:user</b> can not be used"},
      {"NTAccAddDo", "tab\there", "a", "a", "can not be used"},
      {"NTAccAddDo", "fresh ", "a", "a", "User name <b>fresh </b> can not be used"},
      {"NTAccAddDo", std::string(256, 'n'), "a", "a", "can not be used"},
      {"NTAccAddDo", "fresh", "a\nb", "a\nb", "Password can not be used"},
      {"NTAccAddDo", "fresh", std::string(512, 'p'), std::string(512, 'p'),
       "Password can not be used"},
      {"NTAccAddDo", "Stray", "a", "a",
       "Internal error - can not add section for new NT account !"},
      {"NTAccPassDo", "Stray", "a", "a", "User name not found !<BR>"},
      {"NTAccPassDo", "WebUser", "a", "A", "Password entries do not match !"},
      {"NTAccPassDo", "WebUser", "a\rb", "a\rb", "Password can not be used"},
  };
  CgiSite site(kAccounts);
  const FileState before = StateOf(site.config_path());
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.action) + " " + c.user + " / " + c.pass);
    const std::string content =
        RunAdmin(site, c.action, FormBody({{"User", c.user}, {"Pass", c.pass}, {"Pass2", c.pass2}}))
            .content;
    EXPECT_THAT(content, HasSubstr(c.message));
    EXPECT_THAT(content, Not(HasSubstr("successfuly")));
    EXPECT_EQ(StateOf(site.config_path()), before);
  }
}

TEST(NtAccountPages, DeleteSavesEvenWhenThereIsNothingToDelete) {
  CgiSite site(kAccounts);
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
  CgiSite site(kAccounts);
  EXPECT_EQ(RunAdmin(site, "NTAccPassDo",
                     FormBody({{"User", "webuser"}, {"Pass", "new"}, {"Pass2", "new"}}))
                .content,
            "Password of NT Account <b>webuser</b> changed successfuly. ");
  RunAdmin(site, "NTAccPassDo", FormBody({{"User", "nopass"}, {"Pass", "1st"}, {"Pass2", "1st"}}));
  const std::unique_ptr<TreeSection> config = LoadConfig(site);
  const TreeSection* accounts = config->GetSection("NTACCOUNTS");
  EXPECT_EQ(accounts->GetSection("WebUser")->Count(), 1);
  EXPECT_STREQ(accounts->GetSection("WebUser")->GetValue("Password")->GetString(), "new");
  const TreeSection* added = accounts->GetSection("nopass");
  ASSERT_EQ(added->Count(), 1);
  EXPECT_STREQ(added->At(1)->GetName(), "password");
  EXPECT_STREQ(added->GetValue("Password")->GetString(), "1st");
}

TEST(NtAccountPages, AFailedSaveIsReportedInsteadOfSuccess) {
  CgiSite site(kAccounts);
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
