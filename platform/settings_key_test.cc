#include "platform/settings_key.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fault_env.h"

namespace vard {
namespace {

constexpr char kKey[] = "Software\\Trevalo soft\\Vardomar (Text)";

class SettingsKeyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/vard_registry_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    path_ = dir_ + "/registry";
    setenv("VARDOMAR_REGISTRY", path_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("VARDOMAR_REGISTRY");
    std::string cmd = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }

  // Runs `body` in a child process and returns its exit status (0 when body returned true).
  static pid_t Spawn(const std::function<bool()>& body) {
    const pid_t pid = fork();
    if (pid == 0) _exit(body() ? 0 : 1);
    return pid;
  }
  static int Wait(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
  }

  std::string FileText() const {
    std::ifstream in(path_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::string dir_;
  std::string path_;
};

TEST_F(SettingsKeyTest, MissingEmptyAndPresentValuesAcrossProcesses) {
  const pid_t writer = Spawn([] {
    SettingsKey key(true, Hive::kLocalMachine, kKey);
    return key.IsOpen() && key.WriteString("Configuration File", "/srv/vard.cfg") == 1 &&
           key.WriteString("Backup directory", "") == 1;
  });
  ASSERT_EQ(Wait(writer), 0);
  {
    std::ofstream append(path_, std::ios::app);
    append << "\"Zero\"=\n";
  }
  const pid_t reader = Spawn([] {
    SettingsKey key(Hive::kLocalMachine, "SOFTWARE\\trevalo SOFT\\vardomar (text)");
    if (!key.IsOpen()) return false;
    const std::unique_ptr<char[]> cfg = key.ReadString("configuration file");
    const std::unique_ptr<char[]> backup = key.ReadString("BACKUP DIRECTORY");
    return cfg && std::string(cfg.get()) == "/srv/vard.cfg" && backup && backup[0] == '\0' &&
           !key.ReadString("Zero") && !key.ReadString("Nothing");
  });
  EXPECT_EQ(Wait(reader), 0);
  // A human can read what was stored.
  EXPECT_NE(FileText().find("\"Backup directory\"=\"\""), std::string::npos) << FileText();
}

TEST_F(SettingsKeyTest, KeysOpenOnlyWhereTheyExistAndCreateMakesParents) {
  EXPECT_FALSE(SettingsKey(Hive::kLocalMachine, kKey).IsOpen());  // no store file yet
  EXPECT_FALSE(SettingsKey(false, Hive::kLocalMachine, kKey).IsOpen());
  ASSERT_TRUE(SettingsKey(true, Hive::kLocalMachine, kKey).IsOpen());
  EXPECT_TRUE(SettingsKey(Hive::kLocalMachine, "Software\\Trevalo soft").IsOpen());
  EXPECT_FALSE(SettingsKey(Hive::kLocalMachine, "Software\\Other").IsOpen());

  SettingsKey closed(true, Hive::kLocalMachine, kKey);
  closed.Close();
  EXPECT_FALSE(closed.IsOpen());
  EXPECT_EQ(closed.WriteString("Configuration File", "x"), 0);
  EXPECT_EQ(closed.ReadString("Configuration File"), nullptr);
}

TEST_F(SettingsKeyTest, ReadOnlyKeysRefuseWrites) {
  SettingsKey writer(true, Hive::kLocalMachine, kKey);
  ASSERT_EQ(writer.WriteString("Configuration File", "/a"), 1);
  const std::string before = FileText();
  SettingsKey read_only(false, Hive::kLocalMachine, kKey);
  ASSERT_TRUE(read_only.IsOpen());
  EXPECT_EQ(read_only.WriteString("Configuration File", "/b"), 0);
  SettingsKey reader(Hive::kLocalMachine, kKey);
  EXPECT_EQ(reader.WriteString("Configuration File", "/b"), 0);
  EXPECT_EQ(FileText(), before);
  EXPECT_STREQ(reader.ReadString("Configuration File").get(), "/a");
}

TEST_F(SettingsKeyTest, TextsStopAtAZeroByte) {
  SettingsKey key(true, Hive::kLocalMachine, kKey);
  ASSERT_EQ(key.WriteString("Configuration File", std::string_view("/a\0/b", 5)), 1);
  EXPECT_STREQ(key.ReadString("Configuration File").get(), "/a");
}

TEST_F(SettingsKeyTest, UnwritableStoreFailsCleanly) {
  setenv("VARDOMAR_REGISTRY", (dir_ + "/no/such/dir/registry").c_str(), 1);
  SettingsKey key(true, Hive::kLocalMachine, kKey);
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(key.WriteString("Configuration File", "/a"), 0);
}

// Every step of an update made to fail: the write reports 0, the store keeps its old value and
// no temporary file stays beside it. The calls of one update, in order: lock file create, lock,
// store open and read and close, stat, temporary create, chmod, write, sync, link, close, rename.
TEST_F(SettingsKeyTest, AFailedStepOfAnUpdateKeepsTheOldStore) {
  SettingsKey key(true, Hive::kLocalMachine, kKey);
  ASSERT_EQ(key.WriteString("Configuration File", "/old"), 1);
  const std::string old_text = FileText();
  const struct {
    FileCall call;
    int nth;
  } kSteps[] = {{FileCall::kLock, 1},   {FileCall::kOpen, 1},  {FileCall::kRead, 1},
                {FileCall::kCreate, 2}, {FileCall::kChmod, 1}, {FileCall::kWrite, 1},
                {FileCall::kSync, 1},   {FileCall::kLink, 1},  {FileCall::kClose, 2},
                {FileCall::kRename, 1}};
  for (const auto& step : kSteps) {
    SCOPED_TRACE(static_cast<int>(step.call));
    {
      ScopedFaultEnv faults;
      faults.env().FailNth(step.call, step.nth, EIO);
      EXPECT_EQ(key.WriteString("Configuration File", "/new"), 0);
    }
    EXPECT_EQ(FileText(), old_text);
    EXPECT_STREQ(key.ReadString("Configuration File").get(), "/old");
    // The store and its lock file, nothing else.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_),
                            std::filesystem::directory_iterator()),
              2);
  }
}

TEST_F(SettingsKeyTest, ConcurrentWritersLoseNothingAndReadersSeeWholeFiles) {
  ASSERT_TRUE(SettingsKey(true, Hive::kLocalMachine, kKey).IsOpen());
  constexpr int kWriters = 4;
  constexpr int kValuesEach = 25;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    children.push_back(Spawn([w] {
      for (int i = 0; i < kValuesEach; ++i) {
        SettingsKey key(true, Hive::kLocalMachine, kKey);
        const std::string name = "w" + std::to_string(w) + "_" + std::to_string(i);
        if (key.WriteString(name, name) != 1) return false;
        if (key.WriteString("Shared", name) != 1) return false;
      }
      return true;
    }));
  }
  // The reader checks that a value present once never disappears mid-update.
  children.push_back(Spawn([] {
    bool seen = false;
    for (int i = 0; i < 300; ++i) {
      SettingsKey key(Hive::kLocalMachine, kKey);
      if (!key.IsOpen()) return false;
      const bool present = key.ReadString("Shared") != nullptr;
      if (seen && !present) return false;
      seen = seen || present;
    }
    return true;
  }));
  for (const pid_t pid : children) EXPECT_EQ(Wait(pid), 0);

  SettingsKey key(Hive::kLocalMachine, kKey);
  for (int w = 0; w < kWriters; ++w) {
    for (int i = 0; i < kValuesEach; ++i) {
      const std::string name = "w" + std::to_string(w) + "_" + std::to_string(i);
      const std::unique_ptr<char[]> value = key.ReadString(name);
      ASSERT_NE(value, nullptr) << name;
      EXPECT_EQ(std::string(value.get()), name);
    }
  }
}

}  // namespace
}  // namespace vard
