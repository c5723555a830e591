// The user pages in the administration program, run as a web server runs it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "schema/password_hash.h"
#include "tests/cgi_runner.h"
#include "userpages/user_test_support.h"

namespace vard::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class AdminUserPagesTest : public testing::Test {
 protected:
  CgiResponse Run(std::string_view action, std::string body = {}) {
    return RunCgi(ProgramPath("vardadmin"), site_.Request("Action=" + std::string(action), body));
  }
  std::vector<std::string> StaffUsers() const { return UserNames(site_.config_path(), "Staff"); }

  CgiSite site_{kUserConfig};
};

TEST_F(AdminUserPagesTest, AddedUsersStoreTheirValuesInOrderBehindTheOthers) {
  CgiResponse mapped = Run("AddUserDo", FormBody({{"Authority", "Staff"},
                                                  {"User", "erin"},
                                                  {"Pass", "p w"},
                                                  {"MapTo", "ON"},
                                                  {"NTAcc", "webstaff"},
                                                  {"Expire", ""},
                                                  {"noexpiration", "1"},
                                                  {"B1", "Submit"}}));
  EXPECT_EQ(mapped.exit_status, 0);
  EXPECT_THAT(mapped.out, HasSubstr("User <b>erin</b> added to authority <B>Staff</B>"));
  EXPECT_EQ(UserBlock(site_.Config(), "erin"),
            "{ erin:\n(string)Password=p w\n(int)DoNotMap=0\n(string)MapTo=webstaff\n"
            "(string)expiredate=\n(int)noexpiration=1\n(int)disabled=0\n} erin;\n");

  // An unchecked box is not posted at all; the account list still sends its first entry. The
  // year warning belongs to the change operation only.
  CgiResponse unmapped = Run("AddUserDo", FormBody({{"Authority", "staff"},
                                                    {"User", "Frank"},
                                                    {"Pass", "f"},
                                                    {"NTAcc", "webstaff"},
                                                    {"Expire", "1/1/2038"},
                                                    {"disabled", "1"}}));
  EXPECT_THAT(unmapped.out, HasSubstr("User <b>Frank</b> added to authority <B>staff</B>"));
  EXPECT_THAT(unmapped.out, Not(HasSubstr("Warning")));
  EXPECT_EQ(UserBlock(site_.Config(), "Frank"),
            "{ Frank:\n(string)Password=f\n(int)DoNotMap=1\n(string)expiredate=1/1/2038\n"
            "(int)noexpiration=0\n(int)disabled=1\n} Frank;\n");
  EXPECT_EQ(StaffUsers(), (std::vector<std::string>{"alice", "bob", "carol", "erin", "Frank"}));
}

// Every refused operation answers in the content cell and leaves the file as it was: not even
// rewritten (an atomic save would give the file a new inode).
TEST_F(AdminUserPagesTest, RefusedOperationsNeitherChangeNorSave) {
  const std::string long_name(256, 'n');
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"AddUserDo", FormBody({{"Authority", "Nobody"}, {"User", "zed"}}),
       "Authority <b>Nobody</b> not found !"},
      {"DelUserDo", FormBody({{"Authority", "Nobody"}, {"User", "alice"}}),
       "Authority <b>Nobody</b> not found !"},
      {"ChangeUserDo", FormBody({{"Authority", "<Nobody>"}, {"User", "alice"}}),
       "Authority <b>&lt;Nobody&gt;</b> not found !"},
      {"AddUserDo", FormBody({{"User", "zed"}}), "Authority <b></b> not found !"},
      {"AddUserDo", FormBody({{"Authority", "Staff"}, {"User", ""}}),
       "User name can not be empty !"},
      {"ChangeUserDo", FormBody({{"Authority", "Staff"}, {"B1", "Submit"}}),
       "User name can not be empty !"},
      {"AddUserDo", FormBody({{"Authority", "Staff"}, {"User", "ALICE"}, {"Pass", "p"}}),
       "User <B>ALICE</B> already exist in authority <B>Staff</b>"},
      {"AddUserDo", FormBody({{"Authority", "Staff"}, {"User", "expirationrequired"}}),
       "<b>expirationrequired</b> is reserved"},
      {"ChangeUserDo", FormBody({{"Authority", "Staff"}, {"User", "ExpirationRequired"}}),
       "<b>ExpirationRequired</b> is reserved"},
      {"DelUserDo", FormBody({{"Authority", "Staff"}, {"User", "EXPIRATIONREQUIRED"}}),
       "<b>EXPIRATIONREQUIRED</b> is reserved"},
      {"AddUserDo", FormBody({{"Authority", "Staff"}, {"User", "a:b"}}), "can not be stored"},
      {"ChangeUserDo", FormBody({{"Authority", "Staff"}, {"User", "x;y"}}), "can not be stored"},
      {"AddUserDo", FormBody({{"Authority", "Staff"}, {"User", "bob "}}),
       "User name <b>bob </b> can not be stored"},
      {"AddUserDo", FormBody({{"Authority", "Staff"}, {"User", long_name}}), "can not be stored"},
      {"AddUserDo", FormBody({{"Authority", "Staff"}, {"User", "line\nbreak"}}),
       "can not be stored"},
      {"ChangeUserDo", FormBody({{"Authority", "Staff"}, {"User", "bob"}, {"Pass", "a\r\nb"}}),
       "Password can not be stored"},
      {"AddUserDo",
       FormBody({{"Authority", "Staff"},
                 {"User", "zed"},
                 {"Pass", "p"},
                 {"Expire", std::string(512, '1')}}),
       "Expiration date can not be stored"},
      {"ChangeUserDo",
       FormBody({{"Authority", "Staff"},
                 {"User", "bob"},
                 {"Pass", "p"},
                 {"MapTo", "on"},
                 {"NTAcc", "a\nb"}}),
       "NT account name can not be stored"},
      // A user without a password would be open to anyone who knows the name.
      {"AddUserDo", FormBody({{"Authority", "Staff"}, {"User", "zed"}, {"Pass", ""}}),
       "Password can not be empty ! Nothing was changed."},
      {"ChangeUserDo", FormBody({{"Authority", "Staff"}, {"User", "bob"}, {"MapTo", "ON"}}),
       "Password can not be empty ! Nothing was changed."},
      // Stored as clear text, the filter would read it as a hash.
      {"AddUserDo", FormBody({{"Authority", "Staff"}, {"User", "zed"}, {"Pass", "{SHA}x"}}),
       "begins like a password hash"},
      {"ChangeUserDo", FormBody({{"Authority", "Staff"}, {"User", "bob"}, {"Pass", "$2y$05$"}}),
       "begins like a password hash"},
  };
  const std::string before = site_.Config();
  const ino_t inode = Inode(site_.config_path());
  for (const auto& [action, body, message] : cases) {
    CgiResponse response = Run(action, body);
    EXPECT_EQ(response.exit_status, 0);
    EXPECT_THAT(response.out, HasSubstr(message)) << action << " " << body;
    EXPECT_THAT(response.out, Not(HasSubstr("</b> added to"))) << body;
    EXPECT_THAT(response.out, Not(HasSubstr("</b> changed in"))) << body;
    EXPECT_THAT(response.out, Not(HasSubstr("</b> deleted from"))) << body;
  }
  EXPECT_EQ(site_.Config(), before);
  EXPECT_EQ(Inode(site_.config_path()), inode);
}

TEST_F(AdminUserPagesTest, ChangingAUserKeepsItsPlaceAndReplacesTheWholeRecord) {
  CgiResponse response = Run("ChangeUserDo", FormBody({{"Authority", "Staff"},
                                                       {"User", "bob"},
                                                       {"Pass", "new"},
                                                       {"MapTo", "ON"},
                                                       {"NTAcc", "WebOther"},
                                                       {"Expire", "12/31/2037"}}));
  EXPECT_THAT(response.out, HasSubstr("User <b>bob</b> changed in authority <B>Staff</B>"));
  EXPECT_THAT(response.out, Not(HasSubstr("Warning")));
  EXPECT_EQ(StaffUsers(), (std::vector<std::string>{"alice", "bob", "carol"}));
  EXPECT_EQ(UserBlock(site_.Config(), "bob"),
            "{ bob:\n(string)Password=new\n(int)DoNotMap=0\n(string)MapTo=WebOther\n"
            "(string)expiredate=12/31/2037\n(int)noexpiration=0\n(int)disabled=0\n} bob;\n");

  // Changing a user that is not there adds it.
  Run("ChangeUserDo", FormBody({{"Authority", "Staff"}, {"User", "zed"}, {"Pass", "z"}}));
  EXPECT_EQ(StaffUsers(), (std::vector<std::string>{"alice", "bob", "carol", "zed"}));
}

TEST_F(AdminUserPagesTest, ChangeWarnsAboutDatesTheFilterWillRefuseButStoresThem) {
  const std::string year = "<BR><I><B>Warning:</B> Dates after year 2037 not supported";
  const std::string format = "<BR><I><B>Warning:</B> Date format specified can not be recognized";
  for (const auto& [expire, warning] : std::vector<std::pair<std::string, std::string>>{
           {"1/1/2038", year}, {"2038", format}, {"1-1-2000", format}}) {
    CgiResponse response = Run(
        "ChangeUserDo",
        FormBody({{"Authority", "Staff"}, {"User", "carol"}, {"Pass", "c"}, {"Expire", expire}}));
    EXPECT_THAT(response.out, HasSubstr("</b> changed in authority <B>Staff</B>\n" + warning))
        << expire;
    EXPECT_THAT(UserBlock(site_.Config(), "carol"), HasSubstr("expiredate=" + expire + "\n"));
  }
  CgiResponse empty =
      Run("ChangeUserDo", FormBody({{"Authority", "Staff"}, {"User", "carol"}, {"Pass", "c"}}));
  EXPECT_THAT(empty.out, Not(HasSubstr("Warning")));
}

TEST_F(AdminUserPagesTest, DeletingAMissingUserStillConfirmsAndRewritesTheFile) {
  CgiResponse removed = Run("DelUserDo", FormBody({{"Authority", "Staff"}, {"User", "BOB"}}));
  EXPECT_THAT(removed.out, HasSubstr("User <b>BOB</b> deleted from authority <B>Staff</B>"));
  EXPECT_EQ(StaffUsers(), (std::vector<std::string>{"alice", "carol"}));

  const std::string before = site_.Config();
  const ino_t inode = Inode(site_.config_path());
  CgiResponse missing = Run("DelUserDo", FormBody({{"Authority", "Staff"}, {"User", "nobody"}}));
  EXPECT_THAT(missing.out, HasSubstr("User <b>nobody</b> deleted from authority <B>Staff</B>"));
  EXPECT_EQ(site_.Config(), before);
  EXPECT_NE(Inode(site_.config_path()), inode);
}

// Texts are stored as the bytes posted and shown as stored: an older file holding Latin-1 bytes
// still saves byte for byte, and a UTF-8 password reads back as typed.
TEST_F(AdminUserPagesTest, TextsKeepTheirBytesWhateverTheirEncoding) {
  std::string latin1 = site_.Config();
  latin1.replace(latin1.find("Password=a1"), 11,
                 "Password=Gr\xFC\xDF"
                 "e \xE9");
  ASSERT_TRUE(WriteFile(site_.config_path(), latin1));
  const ino_t inode = Inode(site_.config_path());
  Run("DelUserDo", FormBody({{"Authority", "Staff"}, {"User", "nobody"}}));
  EXPECT_NE(Inode(site_.config_path()), inode);
  EXPECT_EQ(site_.Config(), latin1);

  const std::string utf8 =
      "Gr\xC3\xBC\xC3\x9F"
      "e an \xC3\xA9 und 5 \xE2\x82\xAC";
  Run("AddUserDo", FormBody({{"Authority", "Staff"}, {"User", "erin"}, {"Pass", utf8}}));
  EXPECT_THAT(UserBlock(site_.Config(), "erin"), HasSubstr("(string)Password=" + utf8 + "\n"));
  EXPECT_THAT(Run("EditUser", FormBody({{"Authority", "Staff"}, {"User", "erin"}})).Body(),
              HasSubstr("name=\"Pass\" size=\"20\" value=\"" + utf8 + "\""));
}

TEST_F(AdminUserPagesTest, UserListShowsEachUserWithEscapedValuesAndTwoForms) {
  Run("AddUserDo", FormBody({{"Authority", "Staff"},
                             {"User", "<script>"},
                             {"Pass", "s"},
                             {"MapTo", "ON"},
                             {"NTAcc", "web\"staff"}}));
  const std::string body = Run("ListAuthority", FormBody({{"Authority", "Staff"}})).Body();
  EXPECT_THAT(body, HasSubstr("Authority: <b>Staff</b><BR>\nList of registered users:<BR>\n"));
  EXPECT_THAT(body, HasSubstr("<b>Mapped to NT Account </b>"));
  EXPECT_THAT(body,
              HasSubstr("<td bgcolor=\"#E0E0E0\">alice</td>\n<td bgcolor=\"#E0E0E0\">Yes</td>\n"
                        "<td bgcolor=\"#E0E0E0\">WEBOTHER</td>\n"
                        "<td bgcolor=\"#E0E0E0\">12/31/2001</td>\n"
                        "<td bgcolor=\"#E0E0E0\">Yes</td>\n"));
  EXPECT_THAT(body, HasSubstr("<td bgcolor=\"#E0E0E0\">bob</td>\n<td bgcolor=\"#E0E0E0\">No</td>\n"
                              "<td bgcolor=\"#E0E0E0\"></td>\n<td bgcolor=\"#E0E0E0\"></td>\n"
                              "<td bgcolor=\"#E0E0E0\">No</td>\n"));
  EXPECT_THAT(body, HasSubstr("<td bgcolor=\"#E0E0E0\">&lt;script&gt;</td>"));
  EXPECT_THAT(body, HasSubstr("web&quot;staff"));
  EXPECT_THAT(body, Not(HasSubstr("<script>")));
  EXPECT_THAT(body, HasSubstr("<form method=\"POST\" accept-charset=\"UTF-8\" "
                              "action=\"/scripts/vardadmin?Action=EditUser\">"
                              "\n<input type=\"hidden\" name=\"Authority\" value=\"Staff\">\n"
                              "<input type=\"hidden\" name=\"User\" value=\"carol\">\n"
                              "<input type=\"submit\" value=\"Edit\" name=\"B1\">"));
  EXPECT_THAT(body, HasSubstr("<form method=\"POST\" accept-charset=\"UTF-8\" "
                              "action=\"/scripts/vardadmin?Action=DelUserDo\">"
                              "\n<input type=\"hidden\" name=\"Authority\" value=\"Staff\">\n"
                              "<input type=\"hidden\" name=\"User\" value=\"carol\">\n"
                              "<input type=\"submit\" value=\"Delete\" name=\"B1\">"));

  // An authority that does not exist lists nothing: the heading row alone.
  const std::string none = Run("ListAuthority", FormBody({{"Authority", "Nobody"}})).Body();
  EXPECT_THAT(none, HasSubstr("<b>Delete</b></td></tr>\n</table>"));
}

TEST_F(AdminUserPagesTest, EditFormShowsTheStoredStateAndMarksTheAccountIgnoringCase) {
  const std::string alice =
      Run("EditUser", FormBody({{"Authority", "Staff"}, {"User", "alice"}})).Body();
  EXPECT_THAT(alice, HasSubstr("<input type=\"hidden\" name=\"Authority\" value=\"Staff\">\n"
                               "<input type=\"hidden\" name=\"User\" value=\"alice\">\n"
                               "<p><b>Username:</b> alice</p>"));
  EXPECT_THAT(alice, HasSubstr("name=\"Pass\" size=\"20\" value=\"a1\""));
  EXPECT_THAT(alice, HasSubstr("name=\"MapTo\" value=\"ON\" checked>"));
  EXPECT_THAT(alice, HasSubstr("<option value=\"webstaff\">webstaff</option>\n"
                               "<option selected value=\"WebOther\">WebOther</option>"));
  EXPECT_THAT(alice, HasSubstr("name=\"noexpiration\" value=\"1\"> Account does not expire."));
  EXPECT_THAT(alice, HasSubstr("name=\"Expire\" size=\"20\" value=\"12/31/2001\">"));
  EXPECT_THAT(alice, HasSubstr("name=\"disabled\" value=\"1\" checked> Account disabled."));

  const std::string bob =
      Run("EditUser", FormBody({{"Authority", "Staff"}, {"User", "BOB"}})).Body();
  EXPECT_THAT(bob, HasSubstr("value=\"b&amp;&quot;&lt;&#39;\""));
  EXPECT_THAT(bob, HasSubstr("name=\"MapTo\" value=\"ON\">"));
  EXPECT_THAT(bob, HasSubstr("name=\"noexpiration\" value=\"1\" checked>"));
  EXPECT_THAT(bob, Not(HasSubstr("selected")));

  // A user that is not there shows as a new mapped user.
  const std::string nobody =
      Run("EditUser", FormBody({{"Authority", "Staff"}, {"User", "nobody"}})).Body();
  EXPECT_THAT(nobody, HasSubstr("name=\"MapTo\" value=\"ON\" checked>"));
  EXPECT_THAT(nobody, HasSubstr("name=\"Pass\" size=\"20\" value=\"\""));
}

TEST_F(AdminUserPagesTest, ChoosersListTheUsersWithoutPreselection) {
  const std::string del = Run("DelUser", FormBody({{"Authority", "Staff"}})).Body();
  EXPECT_THAT(del,
              HasSubstr("<p><b>Delete User</b></p>\n<form method=\"POST\" accept-charset=\"UTF-8\" "
                        "action=\"/scripts/vardadmin?Action=DelUserDo\">\n"
                        "<input type=\"hidden\" name=\"Authority\" value=\"Staff\">\n"
                        "<p><select size=\"12\" name=\"User\">\n"
                        "<option value=\"alice\">alice</option>\n"
                        "<option value=\"bob\">bob</option>\n"
                        "<option value=\"carol\">carol</option>\n"
                        "</select> <input type=\"submit\" value=\"Delete\" name=\"B1\">"));
  const std::string change = Run("ChangeUser", FormBody({{"Authority", "Staff"}})).Body();
  EXPECT_THAT(change, HasSubstr("action=\"/scripts/vardadmin?Action=EditUser\">\n"
                                "<input type=\"hidden\" name=\"Authority\" value=\"Staff\">\n"
                                "<p><select size=\"12\" name=\"User\">\n"));
  for (const std::string& page : {del, change}) EXPECT_THAT(page, Not(HasSubstr("selected")));

  const std::string add = Run("AddUser", FormBody({{"Authority", "Staff"}})).Body();
  EXPECT_THAT(add, HasSubstr("action=\"/scripts/vardadmin?Action=AddUserDo\">\n"
                             "<input type=\"hidden\" name=\"Authority\" value=\"Staff\">\n"));
  EXPECT_THAT(add, HasSubstr("Expiration (mm/dd/yyyy): "));
  EXPECT_THAT(add, HasSubstr("name=\"MapTo\" value=\"ON\" checked>"));
  EXPECT_THAT(add, Not(HasSubstr("selected")));
}

TEST_F(AdminUserPagesTest, AFailedSaveIsReportedInsteadOfTheSuccess) {
  const std::string before = site_.Config();
  CgiRequest request = site_.Request(
      "Action=AddUserDo", FormBody({{"Authority", "Staff"}, {"User", "erin"}, {"Pass", "e"}}));
  request.file_size_limit = 16;
  CgiResponse response = RunCgi(ProgramPath("vardadmin"), request);
  EXPECT_THAT(response.out, HasSubstr("Configuration could not be saved - nothing was changed."));
  EXPECT_THAT(response.out, Not(HasSubstr("added to")));
  EXPECT_EQ(site_.Config(), before);
}

// The stored password of `user` in the configuration text.
std::string StoredPassword(const std::string& config, std::string_view user) {
  const std::string block = UserBlock(config, user);
  const size_t start = block.find("(string)Password=") + 17;
  return block.substr(start, block.find('\n', start) - start);
}

// With MAIN / HashPasswords set the pages store hashes and never show a stored password; a
// stored hash is never shown either way. An empty password then keeps the current one.
TEST_F(AdminUserPagesTest, HashedPasswordsAreStoredKeptAndNeverShown) {
  for (const bool option : {true, false}) {
    SCOPED_TRACE(option ? "option on" : "option off");
    std::string config = kUserConfig;
    if (option) {
      config.insert(config.find("} MAIN;"), "(int)HashPasswords=1\n");
    } else {
      std::string hash;
      ASSERT_TRUE(HashPassword("p w", &hash));
      config.insert(config.find("        { alice:"),
                    "{ erin:\n(string)Password=" + hash + "\n} erin;\n");
    }
    CgiSite site(config);
    // The form of `user` with the password `pass`, in the authority Staff.
    auto run = [&](std::string_view action, std::string_view user, std::string_view pass = {}) {
      return RunCgi(
          ProgramPath("vardadmin"),
          site.Request("Action=" + std::string(action),
                       FormBody({{"Authority", "Staff"}, {"User", user}, {"Pass", pass}})));
    };
    if (option) run("AddUserDo", "erin", "p w");
    const std::string stored = StoredPassword(site.Config(), "erin");
    EXPECT_EQ(HashCheck::kMatch, CheckPasswordHash("p w", stored)) << stored;
    const std::string form = run("EditUser", "erin").Body();
    EXPECT_THAT(form, HasSubstr("name=\"Pass\" size=\"20\" value=\"\""));
    EXPECT_THAT(form, Not(HasSubstr(stored)));

    EXPECT_THAT(run("ChangeUserDo", "erin").out, HasSubstr("changed in"));
    EXPECT_EQ(stored, StoredPassword(site.Config(), "erin"));
    const std::string alice = run("EditUser", "alice").Body();
    EXPECT_EQ(option, alice.find("value=\"a1\"") == std::string::npos);
  }
}

}  // namespace
}  // namespace vard::test
