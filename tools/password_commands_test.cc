// vardcfg's password commands on a loaded tree: which htpasswd lines become users and which are
// reported, and hashing in place that keeps hashes and empty passwords as they are.
#include "tools/password_commands.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "schema/names.h"
#include "schema/password_hash.h"

namespace vard {
namespace {

constexpr char kConfig[] =
    "{ MAIN:\n    { SERVERS:\n    } SERVERS;\n} MAIN;\n"
    "{ NTACCOUNTS:\n    { webstaff:\n        (string)Password=nt\n    } webstaff;\n} NTACCOUNTS;\n"
    "{ ACCOUNTS:\n    { Staff:\n        (int)ExpirationRequired=1\n"
    "        { alice:\n            (string)Password=wonder\n        } alice;\n"
    "        { empty:\n            (string)Password=\n        } empty;\n"
    "    } Staff;\n} ACCOUNTS;\n";

class PasswordCommandsTest : public ::testing::Test {
 protected:
  PasswordCommandsTest() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/vardpwXXXXXX";
    dir_ = mkdtemp(pattern.data());
    std::ofstream(dir_ + "/c.cfg") << kConfig;
    root_ = std::make_unique<TreeSection>(dir_ + "/c.cfg", true);
    EXPECT_EQ(1, root_->LoadFile());
  }
  ~PasswordCommandsTest() override { std::filesystem::remove_all(dir_); }

  std::string Password(std::string_view user) {
    return root_->GetSection(kAccounts)
        ->GetSection("Staff")
        ->GetSection(user)
        ->GetValue(kPassword)
        ->GetString();
  }

  std::string dir_;
  std::unique_ptr<TreeSection> root_;
};

TEST_F(PasswordCommandsTest, ImportTakesRecognisedHashesAndReportsEveryOtherLine) {
  const std::string bcrypt = "$2y$05$GsYNt7HLk1pMbcipZTeeBO2Udn8Y9mUG/FKaurdn2UyJG75/JW/7K";
  const std::string htpasswd = "carol:" + bcrypt +
                               "\r\n"
                               "# a comment\n"
                               "\n"
                               "no colon here\n"
                               "ALICE:{SHA}qUqP5cyxm6YcTAhz05Hph5gvu9M=\n"
                               "dave:abJnggxhB/yWI\n"
                               "a;b:$apr1$x$y\n"
                               "ExpirationRequired:$apr1$x$y\n"
                               "erin:{SHA}qUqP5cyxm6YcTAhz05Hph5gvu9M=";
  const PasswordCommandResult result = ImportHtpasswd(root_.get(), "staff", htpasswd, "webstaff");
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_TRUE(result.changed);
  EXPECT_EQ(result.out, "Staff/carol: added\nStaff/erin: added\n2 user(s) added\n");
  EXPECT_EQ(result.error,
            "line 4: no \"name:hash\" on the line\n"
            "line 5: the user exists already and is kept\n"
            "line 6: not a hash the filter recognises\n"
            "line 7: the name cannot be stored\n"
            "line 8: the name is an option of the authority\n");
  EXPECT_EQ(Password("carol"), bcrypt);
  EXPECT_EQ(Password("alice"), "wonder");
  const TreeSection* carol = root_->GetSection(kAccounts)->GetSection("Staff")->GetSection("carol");
  EXPECT_STREQ(carol->GetValue(kMapTo)->GetString(), "webstaff");
  EXPECT_EQ(carol->GetValue(kNoExpiration)->GetInt(), 1);

  for (const auto& [authority, account] : {std::pair{"Nobody", ""}, {"Staff", "nobody"}}) {
    const PasswordCommandResult refused = ImportHtpasswd(root_.get(), authority, htpasswd, account);
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.error.find("not found - nothing was added"), std::string::npos);
  }
}

TEST_F(PasswordCommandsTest, HashingKeepsHashesAndEmptyPasswords) {
  ASSERT_TRUE(
      ImportHtpasswd(root_.get(), "Staff", "carol:{SHA}qUqP5cyxm6YcTAhz05Hph5gvu9M=", "").ok);
  const PasswordCommandResult result = HashAllPasswords(root_.get());
  ASSERT_TRUE(result.ok);
  EXPECT_TRUE(result.changed);
  EXPECT_EQ(result.out,
            "Staff/alice: hashed\nStaff/empty: no password, left alone\n1 password(s) hashed\n");
  EXPECT_EQ(HashCheck::kMatch, CheckPasswordHash("wonder", Password("alice")));
  EXPECT_EQ(Password("carol"), "{SHA}qUqP5cyxm6YcTAhz05Hph5gvu9M=");
  EXPECT_EQ(Password("empty"), "");
  EXPECT_FALSE(HashAllPasswords(root_.get()).changed) << "a second run has nothing to do";
}

}  // namespace
}  // namespace vard
