#include "userpages/user_record.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "schema/names.h"

namespace vard {
namespace {

std::unique_ptr<FieldSet> Form(std::initializer_list<std::pair<const char*, std::string>> pairs) {
  auto form = std::make_unique<FieldSet>();
  for (const auto& [name, value] : pairs) form->AddPair(name, value);
  return form;
}

TEST(UserRecordTest, OnlyDatesTheFilterRefusesAreWarnedAbout) {
  const std::string format_warning = "Date format specified can not be recognized";
  const std::string year_warning = "Dates after year 2037 not supported";
  EXPECT_EQ(ExpireDateWarning(""), "");
  EXPECT_EQ(ExpireDateWarning("12/31/2037"), "");
  EXPECT_EQ(ExpireDateWarning(" 2/ 30/1999 and more"), "");
  EXPECT_EQ(ExpireDateWarning("13/45/2001"), "");  // only the year is checked
  EXPECT_NE(ExpireDateWarning("1/1/2038").find(year_warning), std::string::npos);
  EXPECT_NE(ExpireDateWarning("2038").find(format_warning), std::string::npos);
  EXPECT_NE(ExpireDateWarning("1-1-2000").find(format_warning), std::string::npos);
  EXPECT_NE(ExpireDateWarning("12/31/").find(format_warning), std::string::npos);
}

class UserNameTest : public testing::Test {
 protected:
  void SetUp() override {
    authority_.AddInt(kExpirationRequired, 1);
    authority_.OpenSection("alice");
    scope_.authority = &authority_;
    scope_.authority_name = "Staff";
  }
  TreeSection authority_{"Staff"};
  UserScope scope_;
};

TEST_F(UserNameTest, NamesTheFileCannotStoreAreRefused) {
  EXPECT_EQ(RefuseUserName(scope_, ""), "User name can not be empty !");
  for (const std::string& name :
       {std::string("a:b"), std::string("a;b"), std::string("a\nb"), std::string("a\rb"),
        std::string("a\tb"), std::string(256, 'x')}) {
    EXPECT_NE(RefuseUserName(scope_, name).find("can not be stored"), std::string::npos);
  }
  EXPECT_EQ(RefuseUserName(scope_, std::string(255, 'x')), "");
  EXPECT_EQ(RefuseUserName(scope_, "bob smith"), "");
  // An existing user is for the operation to judge, not a refused name.
  EXPECT_EQ(RefuseUserName(scope_, "ALICE"), "");
}

TEST_F(UserNameTest, TheNameOfAnAuthorityOptionIsReservedAndEscapedInTheMessage) {
  const std::string refusal = RefuseUserName(scope_, "expirationREQUIRED");
  EXPECT_NE(refusal.find("<b>expirationREQUIRED</b> is reserved"), std::string::npos);
  EXPECT_NE(refusal.find("<B>Staff</B>"), std::string::npos);
  EXPECT_EQ(RefuseReservedName(scope_, "alice"), "");
  scope_.authority_name = "<i>";
  EXPECT_NE(RefuseReservedName(scope_, "ExpirationRequired").find("&lt;i&gt;"), std::string::npos);
}

TEST(UserTextsTest, TextsWithLineBreaksOrOver511CharactersAreRefused) {
  EXPECT_EQ(RefuseUserTexts(*Form({{"Pass", std::string(511, 'p')},
                                   {"Expire", std::string(511, '1')},
                                   {"MapTo", "ON"},
                                   {"NTAcc", std::string(511, 'n')}})),
            "");
  EXPECT_NE(RefuseUserTexts(*Form({{"Pass", "a\nb"}})).find("Password"), std::string::npos);
  EXPECT_NE(RefuseUserTexts(*Form({{"Pass", std::string(512, 'p')}})).find("Password"),
            std::string::npos);
  EXPECT_NE(RefuseUserTexts(*Form({{"Expire", "1/1/2000\r"}})).find("Expiration date"),
            std::string::npos);
  EXPECT_NE(RefuseUserTexts(*Form({{"MapTo", "ON"}, {"NTAcc", "web\nstaff"}})).find("NT account"),
            std::string::npos);
  // The account name is not stored for an unmapped user, so it cannot be refused.
  EXPECT_EQ(RefuseUserTexts(*Form({{"NTAcc", "web\nstaff"}})), "");
}

}  // namespace
}  // namespace vard
