#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tools/config_check.h"
#include "tools/config_init.h"

namespace vard {
namespace {

// The small configuration of the schema description, with the two password lines filled in.
constexpr char kExample[] = R"(    { MAIN:
        (int)Disable=0
        (string)log=C:\logs\auth.log
        { SERVERS:
            (string)server1=Staff
            (string)server1|81=Staff
        } SERVERS;
    } MAIN;
    { NTACCOUNTS:
        { webstaff:
            (string)Password=s3cret
        } webstaff;
    } NTACCOUNTS;
    { ACCOUNTS:
        { Staff:
            (int)ExpirationRequired=1
            { alice:
                (string)Password=wonder
                (int)DoNotMap=0
                (string)MapTo=webstaff
                (string)expiredate=12/31/2001
                (int)noexpiration=0
                (int)disabled=0
            } alice;
        } Staff;
    } ACCOUNTS;
)";

// Every kind of damage a hand edit produces. MAIN's close is misspelt, so MAIN runs to the end
// and swallows the other top sections.
const std::string kDamaged = std::string() +
                             "{ MAIN:\n"                        // 1: never closed
                             "    (int)Disable=0\n"             // 2
                             "    (string)log=\n"               // 3: empty value
                             "    { SERVERS:\n"                 // 4
                             "        (string)server1=Staff\n"  // 5
                             "    } SERVERS;\n"                 // 6
                             "    this line means nothing\n"    // 7: unrecognised
                             "} MIAN;\n"                        // 8: unmatched close
                             "{ NTACCOUNTS:\n"                  // 9
                             "    (int)webstaff=1\n"            // 10
                             "    { webstaff:\n"                // 11: clashes with value
                             "    } webstaff;\n"                // 12
                             "} NTACCOUNTS;\n"                  // 13
                             "{ ACCOUNTS:\n"                    // 14: never closed
                             "    { Staff:\n"                   // 15: never closed
                             "        (int)Limit[1]=1\n"        // 16
                             "        (int)Limit[1]=2\n"        // 17: duplicate item
                             "        (bogus)x=1\n"             // 18: unknown type
                             "        (int)Count=abc\n"         // 19: not a number
                             "        (string)" +
                             std::string(300, 'n') + "=x\n";  // 20: too long

class VardcfgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/vardcfg_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override {
    const std::string cmd = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }

  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path) << text;
    return path;
  }

  static std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // Runs the built tool; returns its exit status and fills its standard output and error.
  int Run(const std::string& args, std::string* out, std::string* err = nullptr) {
    const char* bin = std::getenv("VARD_BIN");
    if (bin == nullptr) ADD_FAILURE() << "VARD_BIN is not set";
    const std::string err_path = dir_ + "/stderr";
    const std::string cmd =
        std::string(bin ? bin : ".") + "/vardcfg " + args + " 2>'" + err_path + "'";
    FILE* pipe = popen(cmd.c_str(), "r");
    if (pipe == nullptr) return -1;
    out->clear();
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out->append(buf, n);
    const int status = pclose(pipe);
    if (err != nullptr) *err = Read(err_path);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Runs "vardcfg --config <dir>/edit.cfg ARGS" with `input` on standard input.
  int Edit(const std::string& args, const std::string& input = "", std::string* err = nullptr) {
    const std::string in = Write("stdin", input);
    std::string out;
    return Run("--config '" + dir_ + "/edit.cfg' " + args + " <'" + in + "'", &out, err);
  }

  std::string dir_;
};

std::set<int> Lines(const std::vector<ConfigFinding>& findings) {
  std::set<int> lines;
  for (const ConfigFinding& f : findings) lines.insert(f.line);
  return lines;
}

TEST_F(VardcfgTest, ExampleConfigurationIsClean) {
  const std::string path = Write("example.cfg", kExample);
  std::vector<ConfigFinding> findings;
  std::string error;
  EXPECT_EQ(CheckConfigFile(path, &findings, &error), CheckOutcome::kClean);
  EXPECT_TRUE(findings.empty()) << findings.front().line << ": " << findings.front().message;

  std::string out;
  EXPECT_EQ(Run("check " + path, &out), 0);
  EXPECT_EQ(out, path + ": no problems found\n");
}

TEST_F(VardcfgTest, DamagedConfigurationReportsEachLine) {
  const std::string path = Write("damaged.cfg", kDamaged);
  std::vector<ConfigFinding> findings;
  std::string error;
  ASSERT_EQ(CheckConfigFile(path, &findings, &error), CheckOutcome::kProblems);
  EXPECT_EQ(Lines(findings), (std::set<int>{0, 1, 3, 7, 8, 11, 14, 15, 17, 18, 19, 20}));
  // Line order first, file-wide findings last.
  std::vector<int> order;
  for (const ConfigFinding& f : findings) order.push_back(f.line == 0 ? INT32_MAX : f.line);
  EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
  // The swallowed top sections are missing where the programs look for them.
  std::vector<std::string> file_wide;
  for (const ConfigFinding& f : findings) {
    if (f.line == 0) file_wide.push_back(f.message);
  }
  ASSERT_EQ(file_wide.size(), 3u);
  EXPECT_NE(file_wide[0].find("NTACCOUNTS"), std::string::npos);
  EXPECT_NE(file_wide[1].find("ACCOUNTS"), std::string::npos);
  EXPECT_NE(file_wide[2].find("missing authority \"Staff\""), std::string::npos);
  // Over-long texts are cut when quoted.
  for (const ConfigFinding& f : findings) EXPECT_LT(f.message.size(), 200u) << f.message;

  std::string out;
  EXPECT_EQ(Run("check " + path, &out), 1);
  EXPECT_NE(out.find(path + ":8: "), std::string::npos) << out;
  EXPECT_NE(out.find(path + ":17: "), std::string::npos) << out;
  EXPECT_NE(out.find(path + ": missing section NTACCOUNTS\n"), std::string::npos) << out;
}

// Every entry that loads but cannot be written back is listed at its line: each one fails every
// save until it is mended.
TEST_F(VardcfgTest, EntriesThatCannotBeWrittenBackAreListed) {
  const std::string path = Write("unwritable.cfg",
                                 "{ MAIN:\n(int)a\rb=1\n{ SERVERS:\n} SERVERS;\n} MAIN;\n"
                                 "{ NTACCOUNTS:\n} NTACCOUNTS;\n{ ACCOUNTS:\n{ x;y\n");
  std::string out;
  EXPECT_EQ(Run("check " + path, &out), 1);
  EXPECT_NE(out.find(path + ":2: name cannot be written back to the file, so every save fails "
                            "until it is mended: \"a\\x0Db\"\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(path + ":9: name cannot be written back"), std::string::npos) << out;
}

TEST_F(VardcfgTest, TopSectionsThatAreValuesOrMissing) {
  const std::string path = Write("values.cfg", "(int)MAIN=1\n{ ACCOUNTS:\n} ACCOUNTS;\n");
  std::vector<ConfigFinding> findings;
  std::string error;
  ASSERT_EQ(CheckConfigFile(path, &findings, &error), CheckOutcome::kProblems);
  ASSERT_EQ(findings.size(), 2u);
  EXPECT_EQ(findings[0].message, "MAIN is a value, but the programs need a section");
  EXPECT_EQ(findings[1].message, "missing section NTACCOUNTS");

  const std::string no_servers =
      Write("noservers.cfg",
            "{ MAIN:\n} MAIN;\n{ NTACCOUNTS:\n} NTACCOUNTS;\n{ ACCOUNTS:\n"
            "} ACCOUNTS;\n");
  ASSERT_EQ(CheckConfigFile(no_servers, &findings, &error), CheckOutcome::kProblems);
  ASSERT_EQ(findings.size(), 1u);
  EXPECT_EQ(findings[0].message, "missing section MAIN/SERVERS");
}

TEST_F(VardcfgTest, UnreadableFilesExitTwo) {
  std::vector<ConfigFinding> findings;
  std::string error;
  EXPECT_EQ(CheckConfigFile(dir_ + "/missing.cfg", &findings, &error), CheckOutcome::kUnreadable);
  EXPECT_EQ(CheckConfigFile(dir_, &findings, &error), CheckOutcome::kUnreadable);

  std::string out, err;
  EXPECT_EQ(Run("check " + dir_ + "/missing.cfg", &out, &err), 2);
  EXPECT_NE(err.find("cannot be read"), std::string::npos) << err;
}

TEST_F(VardcfgTest, InitWritesACleanFileAndNeverOverwrites) {
  const std::string path = dir_ + "/new.cfg";
  std::string out, err;
  const mode_t saved_mask = umask(0);
  ASSERT_EQ(Run("init " + path, &out, &err), 0) << err;
  umask(saved_mask);
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  const std::string written = Read(path);
  EXPECT_EQ(written,
            "{ MAIN:\n    { SERVERS:\n    } SERVERS;\n} MAIN;\n{ NTACCOUNTS:\n} NTACCOUNTS;\n"
            "{ ACCOUNTS:\n} ACCOUNTS;\n");
  EXPECT_EQ(Run("check " + path, &out), 0) << out;

  std::ofstream(path, std::ios::app) << "; admin note\n";
  EXPECT_EQ(Run("init " + path, &out, &err), 1);
  EXPECT_NE(err.find("already exists"), std::string::npos) << err;
  EXPECT_EQ(Read(path), written + "; admin note\n");

  std::string error;
  EXPECT_EQ(InitConfigFile(dir_ + "/no/such/dir/x.cfg", &error), 0);
  EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
  // Nothing but the one configuration and the captured stderr is left behind.
  EXPECT_EQ(std::system(("test $(ls -A '" + dir_ + "' | wc -l) -eq 2").c_str()), 0);
}

TEST_F(VardcfgTest, HelpAndBadArguments) {
  std::string out, err;
  EXPECT_EQ(Run("--help", &out), 0);
  EXPECT_NE(out.find("Usage: vardcfg init FILE"), std::string::npos);
  EXPECT_EQ(Run("check --help", &out), 0);
  EXPECT_NE(out.find("FILE:LINE: message"), std::string::npos);
  EXPECT_EQ(Run("init -h", &out), 0);
  EXPECT_NE(out.find("never overwritten"), std::string::npos);
  for (const char* bad : {"", "frobnicate x", "check a b", "init --force x", "user add A"}) {
    EXPECT_EQ(Run(bad, &out, &err), 2) << bad;
    EXPECT_NE(err.find("Usage:"), std::string::npos) << bad;
    EXPECT_EQ(out, "") << bad;
  }
}

// Every editing command on one configuration, ending in the file the pages would have written.
TEST_F(VardcfgTest, EditingCommandsWriteWhatThePagesWrite) {
  std::string out;
  ASSERT_EQ(Run("init " + dir_ + "/edit.cfg", &out), 0);
  const struct {
    const char* args;
    const char* input;
  } steps[] = {
      {"account add webstaff", "s3cret\n"},
      {"account add spare", "x\n"},
      {"account passwd webstaff", "n3w\r\n"},
      {"account del spare", ""},
      {"authority add Staff --expiration-required", ""},
      {"authority add Gone", ""},
      {"authority del Gone", ""},
      {"binding add server1 80 Staff", ""},
      {"binding add server1 81 Staff", ""},
      {"binding del server1 81", ""},
      {"user add Staff alice --map-to webstaff --expires 12/31/2030", "wonder"},
      {"user add Staff bob --no-expiry --disabled", "b"},
      {"user set Staff bob --enabled --password", "b2\n"},
      {"user add Staff carol", "c"},
      {"user del Staff carol", ""},
  };
  for (const auto& step : steps) {
    std::string err;
    EXPECT_EQ(Edit(step.args, step.input, &err), 0) << step.args << ": " << err;
  }
  EXPECT_EQ(Read(dir_ + "/edit.cfg"),
            "{ MAIN:\n    { SERVERS:\n        (string)server1=Staff\n    } SERVERS;\n} MAIN;\n"
            "{ NTACCOUNTS:\n    { webstaff:\n        (string)Password=n3w\n    } webstaff;\n"
            "} NTACCOUNTS;\n{ ACCOUNTS:\n    { Staff:\n        (int)ExpirationRequired=1\n"
            "        { alice:\n            (string)Password=wonder\n            (int)DoNotMap=0\n"
            "            (string)MapTo=webstaff\n            (string)expiredate=12/31/2030\n"
            "            (int)noexpiration=0\n            (int)disabled=0\n        } alice;\n"
            "        { bob:\n            (string)Password=b2\n            (int)DoNotMap=1\n"
            "            (int)noexpiration=1\n"
            "            (int)disabled=0\n        } bob;\n    } Staff;\n} ACCOUNTS;\n");
  EXPECT_EQ(Run("--config " + dir_ + "/edit.cfg --json user show Staff alice", &out), 0);
  EXPECT_EQ(out,
            "{\"name\":\"alice\",\"password_set\":true,\"map_to\":\"webstaff\",\"expires\":"
            "\"12/31/2030\",\"no_expiry\":false,\"disabled\":false}\n");
  EXPECT_EQ(Run("--config " + dir_ + "/edit.cfg binding list", &out), 0);
  EXPECT_EQ(out, "server1\t80\tStaff\n");

  // Each refusal leaves the file as it was, byte for byte.
  const std::string before = Read(dir_ + "/edit.cfg");
  const struct {
    const char* args;
    const char* input;
    int status;
    const char* says;
  } refused[] = {
      {"account add webstaff", "p", 1, "already exists"},
      {"account add 'a:b'", "p", 1, "can not be used"},
      {"account add new", "", 1, "no password"},
      {"account add new", "\n", 1, "can not be empty"},
      {"account del nobody", "", 1, "not found"},
      {"authority add 'Staff '", "", 1, "end with a blank"},
      {"binding add server1 80 Staff", "", 1, "already exists"},
      {"binding add other 80 Missing", "", 1, "not found"},
      {"binding add other x80 Staff", "", 1, "invalid TCP port"},
      {"binding add 'two words' 80 Staff", "", 1, "can not be used"},
      {"user add Staff ALICE", "p", 1, "already exists"},
      {"user add Staff ExpirationRequired", "p", 1, "reserved"},
      {"user add Staff dave --map-to nobody", "p", 1, "not found"},
      {"user add Staff dave --expires soon", "p", 1, "can not be read"},
      {"user add Staff dave --expires 1/1/2038", "p", 1, "2037"},
      {"user add Staff dave --no-map --map-to webstaff", "p", 1, "exclude"},
      {"user add Staff dave", "$2y$05$abc", 1, "begins like a password hash"},
      {"user set Staff nobody --disabled", "", 1, "not found"},
      {"user del Staff ExpirationRequired", "", 1, "not found"},
      {"user add Staff dave --password=secret", "", 2, "takes no value"},
      {"user add Staff", "", 2, "expected"},
  };
  for (const auto& r : refused) {
    std::string err;
    EXPECT_EQ(Edit(r.args, r.input, &err), r.status) << r.args;
    EXPECT_NE(err.find(r.says), std::string::npos) << r.args << ": " << err;
  }
  EXPECT_EQ(Read(dir_ + "/edit.cfg"), before);
}

}  // namespace
}  // namespace vard
