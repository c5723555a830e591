#include "filter/backup_name.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform/atomic_file.h"
#include "platform/fault_env.h"

namespace vard {
namespace {

CalendarTime At(int year, int month, int day, int hour, int minute, int second) {
  CalendarTime t;
  t.year = year;
  t.month = month;
  t.day = day;
  t.hour = hour;
  t.minute = minute;
  t.second = second;
  return t;
}

TEST(BackupNameTest, PadsWithSpacesAndJoinsWithOneSeparator) {
  char name[kBackupNameCapacity];
  ASSERT_TRUE(FormatBackupName("/var/cfgbak", At(2001, 3, 7, 14, 5, 9), 1, name, sizeof name));
  EXPECT_STREQ("/var/cfgbak/Vardfilt-2001. 3. 7-14. 5. 9.cfg", name);
  ASSERT_TRUE(FormatBackupName("/var/cfgbak/", At(2024, 12, 31, 0, 0, 0), 1, name, sizeof name));
  EXPECT_STREQ("/var/cfgbak/Vardfilt-2024.12.31- 0. 0. 0.cfg", name);
}

TEST(BackupNameTest, LaterCopiesOfASecondAreNumbered) {
  const CalendarTime when = At(2001, 3, 7, 14, 5, 9);
  char name[kBackupNameCapacity];
  ASSERT_TRUE(FormatBackupName("/b", when, 2, name, sizeof name));
  EXPECT_STREQ("/b/Vardfilt-2001. 3. 7-14. 5. 9-2.cfg", name);
  ASSERT_TRUE(FormatBackupName("/b", when, kMaxBackupCopiesPerSecond, name, sizeof name));
  EXPECT_STREQ("/b/Vardfilt-2001. 3. 7-14. 5. 9-999.cfg", name);
  EXPECT_FALSE(FormatBackupName("/b", when, kMaxBackupCopiesPerSecond + 1, name, sizeof name));
  EXPECT_FALSE(FormatBackupName("/b", when, 0, name, sizeof name));
}

TEST(BackupNameTest, RefusesANameThatWouldBeCut) {
  // "/Vardfilt-2001. 3. 7-14. 5. 9.cfg" is 33 characters.
  const CalendarTime when = At(2001, 3, 7, 14, 5, 9);
  char name[kBackupNameCapacity];
  const std::string fits(kBackupNameCapacity - 1 - 33, 'd');
  ASSERT_TRUE(FormatBackupName(fits, when, 1, name, sizeof name));
  EXPECT_EQ(kBackupNameCapacity - 1, std::string(name).size());
  EXPECT_FALSE(FormatBackupName(fits + "d", when, 1, name, sizeof name));
  EXPECT_FALSE(FormatBackupName(std::string(1000, 'd'), when, 1, name, sizeof name));
  // The number makes the name longer.
  EXPECT_FALSE(FormatBackupName(fits, when, 2, name, sizeof name));
}

class SaveBackupCopyTest : public ::testing::Test {
 protected:
  SaveBackupCopyTest() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vardbak-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) dir_ = pattern;
  }
  ~SaveBackupCopyTest() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // The names in the directory, sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // The "version" value of the copy at `path`.
  static std::string VersionIn(const std::string& path) {
    TreeSection copy(path, true);
    EXPECT_EQ(1, copy.LoadFile());
    return copy.GetValue("version")->GetString();
  }

  // The kept text of a configuration file holding `version`, written by hand: the value follows
  // a section and its name is in other letters, as the tree would not write them.
  std::unique_ptr<BackupText> Text(std::string_view version) const {
    return BackupText::Save("{ MAIN:\n} MAIN;\n(string)VERSION=" + std::string(version) + "\n",
                            dir_);
  }

  // Copies `text` (null: none could be kept) as a copy made at `when`; its path, or "".
  std::string Copy(const std::unique_ptr<BackupText>& text, const CalendarTime& when) {
    char name[kBackupNameCapacity];
    if (text == nullptr || !SaveBackupCopy(*text, dir_, when, name, sizeof name)) return "";
    return name;
  }

  std::string Save(std::string_view version, const CalendarTime& when) {
    return Copy(Text(version), when);
  }

  std::string dir_;
};

TEST_F(SaveBackupCopyTest, CopiesOfOneSecondNeverReplaceEachOther) {
  const CalendarTime when = At(2001, 3, 7, 14, 5, 9);
  const std::string base = dir_ + "/Vardfilt-2001. 3. 7-14. 5. 9";
  EXPECT_EQ(base + ".cfg", Save("v1", when));
  EXPECT_EQ(base + "-2.cfg", Save("v2", when));
  // A copy that another process wrote under the next name stays as it is.
  { std::ofstream(base + "-3.cfg") << "theirs"; }
  EXPECT_EQ(base + "-4.cfg", Save("v3", when));
  EXPECT_EQ(dir_ + "/Vardfilt-2001. 3. 7-14. 5.10.cfg", Save("v4", At(2001, 3, 7, 14, 5, 10)));

  // A copy holds what the tree the file loads as saves, not the file's own bytes.
  std::ifstream first(base + ".cfg");
  EXPECT_EQ("(string)VERSION=v1\n{ MAIN:\n} MAIN;\n",
            std::string(std::istreambuf_iterator<char>(first), {}));
  EXPECT_EQ("v2", VersionIn(base + "-2.cfg"));
  std::ifstream theirs(base + "-3.cfg");
  EXPECT_EQ("theirs", std::string(std::istreambuf_iterator<char>(theirs), {}));
  EXPECT_EQ("v3", VersionIn(base + "-4.cfg"));
  // No temporary file is left behind.
  EXPECT_EQ(5u, Names().size());
}

// The copy holds every password: only its owner may read it, whatever the umask, and a link
// planted at its name leads nowhere.
TEST_F(SaveBackupCopyTest, CopiesArePrivateAndNeverFollowALink) {
  const CalendarTime when = At(2001, 3, 7, 14, 5, 9);
  const std::string base = dir_ + "/Vardfilt-2001. 3. 7-14. 5. 9";
  const std::string outside = dir_ + "/outside";
  { std::ofstream(outside) << "theirs"; }
  ASSERT_EQ(0, symlink(outside.c_str(), (base + ".cfg").c_str()));
  const mode_t saved_mask = umask(0);
  EXPECT_EQ(base + "-2.cfg", Save("v1", when));
  umask(saved_mask);
  struct stat st {};
  ASSERT_EQ(0, stat((base + "-2.cfg").c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 07777);
  std::ifstream theirs(outside);
  EXPECT_EQ("theirs", std::string(std::istreambuf_iterator<char>(theirs), {}));
}

// The kept text holds every password: only its owner may read it, and no program the web server
// starts inherits it, with or without unnamed files.
TEST_F(SaveBackupCopyTest, TheKeptTextIsPrivateAndNotInherited) {
  for (const bool unnamed : {true, false}) {
    UseUnnamedTemporaryFiles(unnamed);
    const mode_t saved_mask = umask(0);
    const std::unique_ptr<BackupText> text = Text("v1");
    umask(saved_mask);
    ASSERT_NE(nullptr, text);
    int kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
      std::error_code error;
      const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
      if (error || target.rfind(dir_ + "/", 0) != 0) continue;
      const int fd = std::stoi(entry.path().filename().string());
      struct stat st {};
      ASSERT_EQ(0, fstat(fd, &st));
      EXPECT_EQ(0600u, st.st_mode & 07777);
      EXPECT_EQ(0u, st.st_nlink);
      EXPECT_NE(0, fcntl(fd, F_GETFD) & FD_CLOEXEC);
      ++kept;
    }
    EXPECT_EQ(1, kept);
    EXPECT_TRUE(Names().empty());
  }
  UseUnnamedTemporaryFiles(true);
}

TEST_F(SaveBackupCopyTest, AFullSecondOrAnUnusableDirectoryLeavesNoFile) {
  const std::string fits(kBackupNameCapacity - 1 - 33 - dir_.size() - 1, 'd');
  ASSERT_EQ(0, mkdir((dir_ + "/" + fits).c_str(), 0700));
  const CalendarTime when = At(2001, 3, 7, 14, 5, 9);
  char name[kBackupNameCapacity];
  const std::unique_ptr<BackupText> text = BackupText::Save("", dir_);
  ASSERT_NE(nullptr, text);
  // The first copy fits; the second's number does not.
  ASSERT_TRUE(SaveBackupCopy(*text, dir_ + "/" + fits, when, name, sizeof name));
  EXPECT_FALSE(SaveBackupCopy(*text, dir_ + "/" + fits, when, name, sizeof name));
  EXPECT_EQ(1u, std::distance(std::filesystem::directory_iterator(dir_ + "/" + fits), {}));

  EXPECT_FALSE(SaveBackupCopy(*text, dir_ + "/missing", when, name, sizeof name));
  EXPECT_FALSE(SaveBackupCopy(*text, "", when, name, sizeof name));
  EXPECT_EQ(nullptr, BackupText::Save("", dir_ + "/missing"));
  EXPECT_EQ(nullptr, BackupText::Save("", ""));
  EXPECT_EQ(std::vector<std::string>{fits}, Names());
}

// Every step of keeping the text and of the copy made to fail: no copy is reported and none,
// whole or partial, is left. The same where the file system has no unnamed files: the kept text
// has no name either, so the cleanup of abandoned files can never take it.
TEST_F(SaveBackupCopyTest, AFailedStepLeavesNoCopy) {
  const FileCall kSteps[] = {FileCall::kCreate, FileCall::kChmod, FileCall::kWrite, FileCall::kRead,
                             FileCall::kSync,   FileCall::kLink,  FileCall::kClose};
  for (const bool unnamed : {true, false}) {
    UseUnnamedTemporaryFiles(unnamed);
    for (const FileCall call : kSteps) {
      SCOPED_TRACE(static_cast<int>(call) * 2 + unnamed);
      std::unique_ptr<BackupText> text = Text("1");
      EXPECT_TRUE(Names().empty());
      {
        ScopedFaultEnv faults;
        faults.env().FailNth(call, 1, ENOSPC);
        EXPECT_EQ("", Copy(text, At(2001, 3, 7, 14, 5, 9)));
      }
      {
        ScopedFaultEnv faults;
        faults.env().FailNth(call, 1, ENOSPC);
        EXPECT_EQ("", Save("1", At(2001, 3, 7, 14, 5, 9)));
      }
      EXPECT_TRUE(Names().empty());
    }
    if (!unnamed) {
      ScopedFaultEnv faults;
      faults.env().FailNth(FileCall::kUnlink, 1, EACCES);
      EXPECT_EQ(nullptr, Text("1"));
      EXPECT_TRUE(Names().empty());
    }
  }
  UseUnnamedTemporaryFiles(true);
}

}  // namespace
}  // namespace vard
