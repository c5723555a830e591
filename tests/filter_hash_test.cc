// Hashed passwords through vardfilt.so's exports: every recognised format as the real tools write
// it (right, wrong and damaged, beside a clear-text user), and a changed hash taking effect at
// the first request after the reload.
#include <cstdio>
#include <string>

#include "gtest/gtest.h"
#include "schema/names.h"
#include "schema/password_hash.h"
#include "tests/filter_test_util.h"

namespace vard::test {
namespace {

// The first line a shell command prints, without its line break.
std::string FirstLine(const std::string& command) {
  std::string line;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return line;
  char buffer[512];
  if (std::fgets(buffer, sizeof buffer, pipe) != nullptr) line = buffer;
  pclose(pipe);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

// The hash htpasswd writes for `password` (its -n output is "name:hash").
std::string Htpasswd(const char* option, const char* password) {
  const std::string line =
      FirstLine(std::string("htpasswd -nb ") + option + " user '" + password + "'");
  return line.substr(line.find(':') + 1);
}

std::string Mkpasswd(const char* method, const char* password) {
  return FirstLine(std::string("mkpasswd -m ") + method + " '" + password + "'");
}

class FilterHashTest : public FilterFixture {
 protected:
  void AddUser(const std::string& name, const std::string& password) {
    config_.User("Staff", {.name = name, .password = password, .map_to = "webstaff"});
  }
  AuthResult SendAs(const std::string& user, const std::string& password) {
    return Send(ScriptedRequest::For("server1", "80", user, password));
  }
  ::testing::AssertionResult LastRecordIs(Event event, const std::string& user) {
    const std::vector<std::string> lines = LogLines();
    if (lines.empty()) return ::testing::AssertionFailure() << "no record";
    return IsRecord(lines.back(), event, user, "Staff");
  }
};

TEST_F(FilterHashTest, EachFormatVerifiesBesideAClearTextUser) {
  std::string library_hash;
  ASSERT_TRUE(HashPassword("P4ss word", &library_hash));
  std::string bcrypt_2a = Mkpasswd("bcrypt", "P4ss word");
  if (bcrypt_2a.starts_with("$2b$")) bcrypt_2a[2] = 'a';  // the same hash for such a password
  const struct {
    const char* format;
    std::string hash;
  } cases[] = {
      {"htpasswd bcrypt $2y$", Htpasswd("-B", "P4ss word")},
      {"htpasswd MD5 $apr1$", Htpasswd("-m", "P4ss word")},
      {"htpasswd SHA-1 {SHA}", Htpasswd("-s", "P4ss word")},
      {"mkpasswd bcrypt $2b$", Mkpasswd("bcrypt", "P4ss word")},
      {"bcrypt $2a$", bcrypt_2a},
      {"mkpasswd yescrypt $y$", Mkpasswd("yescrypt", "P4ss word")},
      {"mkpasswd SHA-512 $6$", Mkpasswd("sha-512", "P4ss word")},
      {"mkpasswd SHA-256 $5$", Mkpasswd("sha-256", "P4ss word")},
      {"library yescrypt", library_hash},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    ASSERT_TRUE(IsPasswordHash(cases[i].hash)) << cases[i].format << ": " << cases[i].hash;
    AddUser("user" + std::to_string(i), cases[i].hash);
    // Cut short: a hash of its format no longer.
    AddUser("damaged" + std::to_string(i), cases[i].hash.substr(0, cases[i].hash.size() - 2));
  }
  Start();
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].format);
    const std::string user = "user" + std::to_string(i);
    EXPECT_EQ("webstaff", SendAs(user, "P4ss word").user);
    EXPECT_TRUE(LastRecordIs(Event::kAuthenticated, user));
    EXPECT_EQ(1, SendAs(user, "P4ss wore").status_lines_sent);
    EXPECT_TRUE(LastRecordIs(Event::kInvalidPassword, user));
    // The hash text itself is no password.
    EXPECT_EQ(1, SendAs(user, cases[i].hash).status_lines_sent);

    const std::string damaged = "damaged" + std::to_string(i);
    EXPECT_EQ(1, SendAs(damaged, "P4ss word").status_lines_sent);
    EXPECT_TRUE(LastRecordIs(Event::kStoredPasswordDamaged, damaged));
  }
  EXPECT_EQ("webstaff", SendAs("alice", "secret").user);
  EXPECT_EQ(1, SendAs("alice", "Secret").status_lines_sent);
}

TEST_F(FilterHashTest, AChangedHashTakesEffectAtTheNextRequest) {
  std::string one;
  std::string two;
  ASSERT_TRUE(HashPassword("one", &one));
  ASSERT_TRUE(HashPassword("two", &two));
  AddUser("bob", one);
  Start();
  EXPECT_EQ("webstaff", SendAs("bob", "one").user);
  EXPECT_EQ("webstaff", SendAs("bob", "one").user);

  ASSERT_TRUE(config_.root()
                  .GetSection(kAccounts)
                  ->GetSection("Staff")
                  ->GetSection("bob")
                  ->OpenValue(kPassword)
                  ->SetString(two));
  ASSERT_TRUE(config_.SaveChangeTo(sandbox_.config_path()));
  EXPECT_EQ(1, SendAs("bob", "one").status_lines_sent);
  EXPECT_TRUE(LastRecordIs(Event::kInvalidPassword, "bob"));
  EXPECT_EQ("webstaff", SendAs("bob", "two").user);
}

}  // namespace
}  // namespace vard::test
