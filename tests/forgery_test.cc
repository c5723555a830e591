// Both CGI programs against requests that another web site can make the administrator's
// browser send: a changing action by GET, or posted from a page of another origin, changes
// neither the configuration nor the settings store; posted from the programs' own origin it
// works. And the Config action refuses a location that cannot be a configuration.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "gmock/gmock.h"
#include "gtest/gtest.h"
#include "tests/cgi_runner.h"
#include "userpages/user_test_support.h"

namespace vard::test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

// The site of kUserConfig's binding intranet -> Staff, as the browser names it.
const std::vector<std::string> kOwnOrigin = {"HTTP_HOST=intranet", "HTTP_ORIGIN=http://intranet",
                                             "HTTP_SEC_FETCH_SITE=same-origin"};

struct ChangingAction {
  const char* program;
  const char* action;
  std::string body;  // fields with which the action changes something when it is let through
};

std::vector<ChangingAction> ChangingActions(const std::string& other_config) {
  return {
      {"vardadmin", "MainScreenDo", "Disable=ON&LogFile=%2Ftmp%2Fx.log"},
      {"vardadmin", "NTAccAddDo", "User=intruder&Pass=p&Pass2=p"},
      {"vardadmin", "NTAccDelDo", "NTAccount=webstaff"},
      {"vardadmin", "NTAccPassDo", "User=webstaff&Pass=p&Pass2=p"},
      {"vardadmin", "AuthAddDo", "Authority=Intruders"},
      {"vardadmin", "AuthDelDo", "Authority=Staff"},
      {"vardadmin", "AuthRenDo", "Authority=Staff&NewName=Owned"},
      {"vardadmin", "BindAddDo", "Host=evil&Port=80&Authority=Staff"},
      {"vardadmin", "BindDelDo", "Host=intranet"},
      {"vardadmin", "AddUserDo", "Authority=Staff&User=eve&Pass=x&noexpiration=1"},
      {"vardadmin", "DelUserDo", "Authority=Staff&User=carol"},
      {"vardadmin", "ChangeUserDo", "Authority=Staff&User=carol&Pass=x&noexpiration=1"},
      {"vardadmin", "Config", FormBody({{"Config", other_config}})},
      {"vardsite", "AddUserDo", "User=eve&Pass=x&noexpiration=1"},
      {"vardsite", "DelUserDo", "User=carol"},
      {"vardsite", "ChangeUserDo", "User=carol&Pass=x&noexpiration=1"},
  };
}

// The configuration file and the settings store as they stand, inodes included: an atomic
// save that wrote the same bytes still shows.
struct Files {
  std::string config, registry;
  ino_t config_inode, registry_inode;
  bool operator==(const Files&) const = default;
};

Files Snapshot(const CgiSite& site) {
  return {site.Config(), ReadFile(site.registry_path()), Inode(site.config_path()),
          Inode(site.registry_path())};
}

class ForgeryTest : public testing::Test {
 protected:
  CgiResponse Run(const ChangingAction& a, const std::string& method,
                  const std::vector<std::string>& headers) {
    CgiRequest request = site_.Request(std::string("Action=") + a.action, a.body);
    request.method = method;
    request.script_name = std::string("/cgi-bin/") + a.program;
    request.server_name = "intranet";
    request.extra_env = headers;
    CgiResponse response = RunCgi(ProgramPath(a.program), request);
    EXPECT_EQ(response.err, "");
    return response;
  }

  CgiSite site_{kUserConfig};
  const std::string other_config_ = site_.dir().File("other.cfg");
};

TEST_F(ForgeryTest, ChangesOnlyByPostFromTheOwnOrigin) {
  ASSERT_TRUE(WriteFile(other_config_, ""));
  const std::string not_allowed = std::string("Status: 405 Method Not Allowed\nAllow: POST\n") +
                                  kPageHeaders + "<html>\n<head>\n<title>Method Not Allowed";
  const std::string forbidden =
      std::string("Status: 403 Forbidden\n") + kPageHeaders + "<html>\n<head>\n<title>Forbidden";
  const std::vector<std::vector<std::string>> foreign = {
      {"HTTP_HOST=intranet", "HTTP_SEC_FETCH_SITE=cross-site"},
      {"HTTP_HOST=intranet", "HTTP_ORIGIN=http://intranet", "HTTP_SEC_FETCH_SITE=same-site"},
      {"HTTP_HOST=intranet", "HTTP_ORIGIN=http://evil.example"},
      {"HTTP_HOST=intranet", "HTTP_ORIGIN=null"},
      {"HTTP_HOST=intranet", "HTTP_REFERER=http://intranet.evil.example/intranet"},
  };
  for (const ChangingAction& a : ChangingActions(other_config_)) {
    SCOPED_TRACE(std::string(a.program) + " " + a.action);
    const Files before = Snapshot(site_);
    for (const char* method : {"GET", "HEAD"}) {
      const CgiResponse response = Run(a, method, kOwnOrigin);
      EXPECT_THAT(response.out, StartsWith(not_allowed)) << method;
      EXPECT_THAT(response.Body(), HasSubstr("Nothing was changed. <a href=\"/cgi-bin/"));
      EXPECT_EQ(response.exit_status, 0);
      EXPECT_TRUE(Snapshot(site_) == before) << method;
    }
    for (const std::vector<std::string>& headers : foreign) {
      EXPECT_THAT(Run(a, "POST", headers).out, StartsWith(forbidden)) << headers.back();
      EXPECT_TRUE(Snapshot(site_) == before) << headers.back();
    }
    const CgiResponse response = Run(a, "POST", kOwnOrigin);
    EXPECT_THAT(response.out, StartsWith(kPageHeaders));
    EXPECT_FALSE(Snapshot(site_) == before);
    ASSERT_TRUE(WriteFile(site_.config_path(), kUserConfig));
    ASSERT_TRUE(WriteRegistry(site_.registry_path(), site_.config_path()));
  }
}

TEST_F(ForgeryTest, ConfigRefusesALocationThatCannotBeAConfiguration) {
  const TempDir& dir = site_.dir();
  const std::string passwords = dir.File("htpasswd");
  ASSERT_TRUE(WriteFile(passwords, "admin:$apr1$Qx8$Qx8Qx8Qx8Qx8Qx8Qx8Qx8.\n\n"));
  ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
  const struct {
    std::string path, reason;
  } cases[] = {
      {"", "it is not a full path"},
      {"config.cfg", "it is not a full path"},
      {dir.File("missing.cfg"), "it does not exist"},
      {dir.path(), "it is not a regular file"},
      {dir.File("fifo"), "it is not a regular file"},
      {"/dev/null", "it is not a regular file"},
      {passwords, "not one line of it reads as a configuration line"},
  };
  const Files before = Snapshot(site_);
  const std::string passwords_before = ReadFile(passwords);
  for (const auto& c : cases) {
    const ChangingAction config{"vardadmin", "Config",
                                FormBody({{"Config", c.path}, {"Backup", "/b<"}})};
    const CgiResponse response = Run(config, "POST", kOwnOrigin);
    EXPECT_THAT(response.Body(), StartsWith("Configuration file <b>" + c.path +
                                            "</b> can not be used - " + c.reason))
        << c.path;
    // The form comes back with what was typed, to be corrected.
    EXPECT_THAT(response.Body(), HasSubstr("value=\"/b&lt;\"")) << response.Body();
    EXPECT_TRUE(Snapshot(site_) == before) << c.path;
  }
  EXPECT_EQ(ReadFile(passwords), passwords_before);
}

}  // namespace
}  // namespace vard::test
