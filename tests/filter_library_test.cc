// vardfilt.so as a file and as a loaded library: what it exports and carries, its answer to the
// version query, its one filter instance per load, and the Unloaded state.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include "gtest/gtest.h"
#include "schema/names.h"
#include "tests/filter_test_util.h"

namespace vard::test {
namespace {

// The names in the library's dynamic symbol table that it defines.
std::set<std::string> DefinedDynamicSymbols(const std::string& path) {
  std::set<std::string> names;
  const std::string command = "nm -D --defined-only '" + path + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return names;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    char address[256];
    char type[16];
    char name[768];
    if (std::sscanf(line, "%255s %15s %767s", address, type, name) == 3) names.insert(name);
  }
  EXPECT_EQ(0, pclose(pipe)) << command;
  return names;
}

TEST(FilterLibraryFileTest, ExportsExactlyTheTwoEntryPoints) {
  EXPECT_EQ((std::set<std::string>{"GetFilterVersion", "HttpFilterProc"}),
            DefinedDynamicSymbols(FilterLibrary::DefaultPath()));
}

TEST(FilterLibraryFileTest, CarriesItsVersionRecordAsText) {
  const std::string file = ReadWholeFile(FilterLibrary::DefaultPath());
  ASSERT_FALSE(file.empty());
  EXPECT_NE(std::string::npos,
            file.find("FileVersion 1.5.0.0 FileDescription ISAPI filter - custom authentication "
                      "LibraryVersion 1.5.0"));
}

class FilterLibraryTest : public FilterFixture {
 protected:
  void ExpectVersionAnswer() {
    HTTP_FILTER_VERSION version{};
    version.dwServerFilterVersion = HTTP_FILTER_REVISION;
    ASSERT_EQ(TRUE, library_->GetFilterVersion(&version));
    EXPECT_EQ(0x40000u, version.dwFilterVersion);
    EXPECT_EQ(0x42003u, version.dwFlags);
    EXPECT_STREQ("vardfilt Filter", version.lpszFilterDesc);
  }

  // Checks that the loaded filter passes alice's request on untouched and writes nothing.
  void ExpectUnloaded() {
    const AuthResult result = Send(Alice());
    EXPECT_EQ(SF_STATUS_REQ_NEXT_NOTIFICATION, result.status);
    EXPECT_EQ(0, result.status_lines_sent);
    EXPECT_EQ("alice", result.user);
    EXPECT_EQ("secret", result.password);
    EXPECT_FALSE(PathExists(sandbox_.log_path()));
  }
};

TEST_F(FilterLibraryTest, VersionAnswerDoesNotDependOnTheConfiguration) {
  std::string error;
  library_ = FilterLibrary::Load({}, &error);
  ASSERT_NE(nullptr, library_) << error;
  ExpectVersionAnswer();
  Stop();
  Start();
  ExpectVersionAnswer();
}

TEST_F(FilterLibraryTest, EveryLoadMakesAFreshInstanceFromTheSettingsStore) {
  Start();
  EXPECT_EQ("webstaff", Send(Alice()).user);
  Stop();
  TestConfig other;
  other.Bind("server1", "Staff")
      .Authority("Staff")
      .NtAccount("other", "otherpass")
      .User("Staff", {.name = "alice", .password = "secret", .map_to = "other"});
  ASSERT_TRUE(other.SaveTo(sandbox_.Path("other.cfg")));
  ASSERT_TRUE(sandbox_.SetRegistry(kConfigFileValue, sandbox_.Path("other.cfg")));
  library_ = FilterLibrary::Load();
  ASSERT_NE(nullptr, library_);
  EXPECT_EQ("other", Send(Alice()).user);
}

TEST_F(FilterLibraryTest, WithoutSettingsStoreTheFilterStaysUnloaded) {
  ASSERT_TRUE(config_.SaveTo(sandbox_.config_path()));
  setenv("VARDOMAR_REGISTRY", sandbox_.Path("no-store").c_str(), 1);
  library_ = FilterLibrary::Load();
  ASSERT_NE(nullptr, library_);
  ExpectUnloaded();
  ExpectVersionAnswer();
}

TEST_F(FilterLibraryTest, AFileThatAppearsLaterIsNotNoticed) {
  library_ = FilterLibrary::Load();
  ASSERT_NE(nullptr, library_);
  ExpectUnloaded();
  ASSERT_TRUE(config_.SaveTo(sandbox_.config_path()));
  ExpectUnloaded();
}

TEST_F(FilterLibraryTest, ConfigurationPathsUpTo259CharactersAreUsed) {
  // A directory chain that makes the file's path exactly 259 characters, then one more.
  std::string dir = sandbox_.dir();
  while (dir.size() < 259 - 1 - 40) {
    dir += "/" + std::string(std::min<size_t>(40, 259 - 1 - 40 - dir.size()), 'd');
    ASSERT_EQ(0, mkdir(dir.c_str(), 0700)) << dir;
  }
  const std::string longest = dir + "/" + std::string(259 - dir.size() - 1, 'c');
  ASSERT_EQ(259u, longest.size());
  ASSERT_TRUE(config_.SaveTo(longest));
  ASSERT_TRUE(sandbox_.SetRegistry(kConfigFileValue, longest));
  library_ = FilterLibrary::Load();
  EXPECT_EQ("webstaff", Send(Alice()).user);
  Stop();
  std::remove(sandbox_.log_path().c_str());

  const std::string too_long = longest + "x";
  ASSERT_TRUE(config_.SaveTo(too_long));
  ASSERT_TRUE(sandbox_.SetRegistry(kConfigFileValue, too_long));
  library_ = FilterLibrary::Load();
  ExpectUnloaded();
}

}  // namespace
}  // namespace vard::test
