// The configuration cache through vardfilt.so: a changed file is reloaded by the next request,
// and the configuration it replaces is copied into the backup directory.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>

#include "gtest/gtest.h"
#include "schema/names.h"
#include "tests/filter_test_util.h"

namespace vard::test {
namespace {

class FilterReloadTest : public FilterFixture {
 protected:
  FilterReloadTest() : backups_(sandbox_.Path("backups")) {
    mkdir(backups_.c_str(), 0700);
    sandbox_.SetRegistry(kBackupDirValue, backups_);
    config_.NtAccount("webstaff", "v1");
  }

  // Saves version `version` of the configuration (the NT account's password tells them apart).
  void SaveVersion(std::string_view version, const std::string& path = {}) {
    config_.NtAccount("webstaff", version);
    ASSERT_TRUE(config_.SaveChangeTo(path.empty() ? sandbox_.config_path() : path));
  }

  // The configuration version the filter decides with now.
  std::string VersionInUse() { return Send(Alice()).password; }

  // The versions held by the backup copies in `dir`, sorted, checking the copies' names on the
  // way.
  std::vector<std::string> BackupVersions(const std::string& dir) {
    static const std::regex kName(
        R"(Vardfilt-\d{4}\.[ \d]\d\.[ \d]\d-[ \d]\d\.[ \d]\d\.[ \d]\d(-\d+)?\.cfg)");
    std::vector<std::string> versions;
    for (const std::string& name : ListDirectory(dir)) {
      EXPECT_TRUE(std::regex_match(name, kName)) << name;
      TreeSection copy(dir + "/" + name, true);
      EXPECT_EQ(1, copy.LoadFile());
      versions.push_back(
          copy.GetSection(kNtAccounts)->GetSection("webstaff")->GetValue(kPassword)->GetString());
    }
    std::sort(versions.begin(), versions.end());
    return versions;
  }

  const std::string backups_;
};

TEST_F(FilterReloadTest, SavedChangeIsUsedAndTheReplacedConfigurationCopied) {
  Start();
  EXPECT_EQ("v1", VersionInUse());
  EXPECT_TRUE(ListDirectory(backups_).empty());
  SaveVersion("v2");
  const std::time_t before = std::time(nullptr);
  EXPECT_EQ("v2", VersionInUse());
  const std::time_t after = std::time(nullptr);
  EXPECT_EQ(std::vector<std::string>{"v1"}, BackupVersions(backups_));
  EXPECT_EQ("v2", VersionInUse());
  EXPECT_EQ(1u, ListDirectory(backups_).size());

  // The name is the UTC time of the reload.
  const std::string name = ListDirectory(backups_).at(0);
  bool matches = false;
  for (std::time_t t = before; t <= after && !matches; ++t) {
    std::tm utc{};
    gmtime_r(&t, &utc);
    char expected[64];
    std::snprintf(expected, sizeof expected, "Vardfilt-%4d.%2d.%2d-%2d.%2d.%2d.cfg",
                  utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min,
                  utc.tm_sec);
    matches = name == expected;
  }
  EXPECT_TRUE(matches) << name;
}

TEST_F(FilterReloadTest, TwoSavesBetweenRequestsGiveOneReloadAndOneCopy) {
  Start();
  EXPECT_EQ("v1", VersionInUse());
  SaveVersion("v2");
  SaveVersion("v3");
  EXPECT_EQ("v3", VersionInUse());
  EXPECT_EQ("v3", VersionInUse());
  EXPECT_EQ(std::vector<std::string>{"v1"}, BackupVersions(backups_));
}

TEST_F(FilterReloadTest, OlderFileTimeAlsoCountsAsAChange) {
  Start();
  EXPECT_EQ("v1", VersionInUse());
  SaveVersion("v0");
  ASSERT_TRUE(SetFileTime(sandbox_.config_path(), std::time(nullptr) - 86400));
  EXPECT_EQ("v0", VersionInUse());
  EXPECT_EQ(std::vector<std::string>{"v1"}, BackupVersions(backups_));
}

// File times advance in clock ticks of a few milliseconds, so two saves can leave the same time.
TEST_F(FilterReloadTest, ChangeIsNoticedWhenTheFileTimeStaysTheSame) {
  Start();
  EXPECT_EQ("v1", VersionInUse());
  struct stat first;
  ASSERT_EQ(0, stat(sandbox_.config_path().c_str(), &first));
  const struct timespec same_time[2] = {first.st_mtim, first.st_mtim};

  // Another file of the same size renamed into place.
  config_.NtAccount("webstaff", "v2");
  ASSERT_TRUE(config_.SaveTo(sandbox_.config_path()));
  ASSERT_EQ(0, utimensat(AT_FDCWD, sandbox_.config_path().c_str(), same_time, 0));
  EXPECT_EQ("v2", VersionInUse());

  // The same file rewritten in place to another size.
  const std::string v10 = ReadWholeFile(sandbox_.config_path());
  const size_t at = v10.find("v2");
  ASSERT_NE(std::string::npos, at);
  {
    std::ofstream out(sandbox_.config_path(), std::ios::binary | std::ios::trunc);
    out << v10.substr(0, at) << "v10" << v10.substr(at + 2);
  }
  ASSERT_EQ(0, utimensat(AT_FDCWD, sandbox_.config_path().c_str(), same_time, 0));
  EXPECT_EQ("v10", VersionInUse());
  // Both reloads fall within a second or two; each keeps its copy.
  EXPECT_EQ((std::vector<std::string>{"v1", "v2"}), BackupVersions(backups_));
}

TEST_F(FilterReloadTest, DeletedFileLeavesTheLoadedConfigurationInUse) {
  Start();
  ASSERT_EQ(0, std::remove(sandbox_.config_path().c_str()));
  EXPECT_EQ("v1", VersionInUse());
  EXPECT_EQ("v1", VersionInUse());
  EXPECT_TRUE(ListDirectory(backups_).empty());
}

TEST_F(FilterReloadTest, ChangedPathIsReadWhenTheOldFileChanges) {
  Start();
  const std::string other = sandbox_.Path("other.cfg");
  SaveVersion("other", other);
  ASSERT_TRUE(sandbox_.SetRegistry(kConfigFileValue, other));
  EXPECT_EQ("v1", VersionInUse());
  SaveVersion("v2");
  EXPECT_EQ("other", VersionInUse());
  // From now on the new file is the one watched.
  SaveVersion("other2", other);
  EXPECT_EQ("other2", VersionInUse());
}

TEST_F(FilterReloadTest, AnonymousRequestAlsoTriggersTheReload) {
  Start();
  SaveVersion("v2");
  const AuthResult anonymous = Send(ScriptedRequest::For("server1", "80", "", ""));
  EXPECT_EQ(SF_STATUS_REQ_HANDLED_NOTIFICATION, anonymous.status);
  EXPECT_EQ(std::vector<std::string>{"v1"}, BackupVersions(backups_));
  EXPECT_EQ("v2", VersionInUse());
}

TEST_F(FilterReloadTest, MissingOrEmptyBackupDirectoryMeansNoCopy) {
  // "" must not be read as the root of the file system.
  auto copies_at_root = [] {
    std::vector<std::string> copies;
    for (const std::string& name : ListDirectory("/")) {
      if (name.rfind("Vardfilt-", 0) == 0) copies.push_back(name);
    }
    return copies;
  };
  const std::vector<std::string> root_before = copies_at_root();
  const char* const kSettings[] = {"", nullptr};
  for (const char* setting : kSettings) {
    FilterSandbox sandbox;
    if (setting != nullptr) {
      ASSERT_TRUE(sandbox.SetRegistry(kBackupDirValue, setting));
    }
    config_.NtAccount("webstaff", "v1");
    ASSERT_TRUE(config_.SaveTo(sandbox.config_path()));
    library_ = FilterLibrary::Load();
    ASSERT_NE(nullptr, library_);
    EXPECT_EQ("v1", VersionInUse());
    SaveVersion("v2", sandbox.config_path());
    EXPECT_EQ("v2", VersionInUse());
    Stop();
    for (const std::string& name : ListDirectory(sandbox.dir())) {
      EXPECT_EQ(std::string::npos, name.find("Vardfilt-")) << name;
    }
  }
  EXPECT_EQ(root_before, copies_at_root());
}

TEST_F(FilterReloadTest, BackupDirectoryMayEndInASlash) {
  ASSERT_TRUE(sandbox_.SetRegistry(kBackupDirValue, backups_ + "/"));
  Start();
  SaveVersion("v2");
  EXPECT_EQ("v2", VersionInUse());
  EXPECT_EQ(std::vector<std::string>{"v1"}, BackupVersions(backups_));
}

TEST_F(FilterReloadTest, UnusableBackupDirectoryLosesOnlyTheCopy) {
  ASSERT_TRUE(sandbox_.SetRegistry(kBackupDirValue, sandbox_.Path("missing")));
  Start();
  SaveVersion("v2");
  EXPECT_EQ("v2", VersionInUse());
  EXPECT_FALSE(PathExists(sandbox_.Path("missing")));
}

// A configuration's text is kept for its copy when it is loaded, in the backup directory named
// then: one loaded while none was named gets no copy. The copy goes where the store names at the
// replacement, wherever the text was kept.
TEST_F(FilterReloadTest, TheTextIsKeptAtTheLoadAndCopiedWhereTheStoreSaysAtTheReplacement) {
  ASSERT_TRUE(sandbox_.SetRegistry(kBackupDirValue, ""));
  Start();
  ASSERT_TRUE(sandbox_.SetRegistry(kBackupDirValue, backups_));
  SaveVersion("v2");
  EXPECT_EQ("v2", VersionInUse());
  EXPECT_TRUE(ListDirectory(backups_).empty());

  const std::string moved = sandbox_.Path("moved");
  ASSERT_EQ(0, mkdir(moved.c_str(), 0700));
  ASSERT_TRUE(sandbox_.SetRegistry(kBackupDirValue, moved));
  SaveVersion("v3");
  EXPECT_EQ("v3", VersionInUse());
  EXPECT_EQ(std::vector<std::string>{"v2"}, BackupVersions(moved));
  EXPECT_TRUE(ListDirectory(backups_).empty());
}

// A reload that cannot load keeps the configuration in force (passing requests on unjudged would
// open every guarded site), says so once, and is tried again when the store or the file changes.
TEST_F(FilterReloadTest, FailedReloadKeepsTheConfigurationAndIsTriedAgainAfterAChange) {
  const std::string store = sandbox_.Path("registry");
  const std::string missing = sandbox_.Path("gone.cfg");
  const std::string directory = sandbox_.Path("dir.cfg");
  struct Case {
    const char* name;
    std::function<void()> break_it;
    std::string path;    // parameter 1 of the record
    std::string reason;  // parameter 2
    std::function<void()> repair;
    std::string repaired_version;
  };
  const std::string saved_store = ReadWholeFile(store);
  const Case cases[] = {
      {"store emptied", [&] { std::ofstream(store, std::ios::trunc) << ""; }, store,
       "the settings store cannot be read",
       [&] { std::ofstream(store, std::ios::trunc) << saved_store; }, "v2"},
      {"missing file", [&] { sandbox_.SetRegistry(kConfigFileValue, missing); }, missing,
       "No such file or directory", [&] { SaveVersion("v3", missing); }, "v3"},
      {"unreadable file",
       [&] {
         mkdir(directory.c_str(), 0700);
         sandbox_.SetRegistry(kConfigFileValue, directory);
       },
       directory, "Is a directory",
       [&] {
         rmdir(directory.c_str());
         SaveVersion("v3", directory);
       },
       "v3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(backups_);
    mkdir(backups_.c_str(), 0700);
    std::ofstream(sandbox_.log_path(), std::ios::trunc).flush();
    config_.NtAccount("webstaff", "v1");
    Start();
    c.break_it();
    SaveVersion("v2");
    for (int i = 0; i < 3; ++i) EXPECT_EQ("v1", VersionInUse());
    const std::vector<std::string> lines = LogLines();
    const auto failed = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
      return line.rfind("18, ", 0) == 0;
    });
    EXPECT_EQ(1, failed);
    EXPECT_TRUE(IsRecord(lines.at(0), Event::kReloadFailed, c.path, c.reason, "", ""))
        << lines.at(0);
    // Nothing was replaced, so nothing was copied.
    EXPECT_TRUE(ListDirectory(backups_).empty());

    c.repair();
    EXPECT_EQ(c.repaired_version, VersionInUse());
    EXPECT_EQ(std::vector<std::string>{"v1"}, BackupVersions(backups_));
    Stop();
    std::ofstream(store, std::ios::trunc) << saved_store;
  }
}

}  // namespace
}  // namespace vard::test
