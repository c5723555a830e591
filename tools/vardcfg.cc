// vardcfg: the administrator's command-line tool for configuration files. "init" writes a new,
// empty configuration; "check" lists what in a configuration loads differently from how it
// reads. Output is plain text, one finding a line; the exit status tells scripts the outcome.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/config_check.h"
#include "tools/config_init.h"
#include "tools/password_main.h"

namespace vard {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "Usage: vardcfg init FILE\n"
    "       vardcfg check FILE\n"
    "       vardcfg hash-passwords FILE\n"
    "       vardcfg import-htpasswd FILE AUTHORITY HTPASSWD [--map-to ACCOUNT]\n"
    "       vardcfg [COMMAND] --help\n";

constexpr char kInitHelp[] =
    "vardcfg init FILE\n"
    "  Writes a new configuration file holding the empty sections MAIN (with SERVERS\n"
    "  inside), NTACCOUNTS and ACCOUNTS. An existing FILE is never overwritten.\n"
    "  Exit status: 0 written; 1 not written (FILE exists or cannot be created);\n"
    "  2 bad arguments.\n";

constexpr char kCheckHelp[] =
    "vardcfg check FILE\n"
    "  Loads FILE the way the filter and the administration programs do and lists, as\n"
    "  FILE:LINE: message, every line that is ignored or loads differently from how it\n"
    "  looks (unreadable lines, unmatched or missing close lines, duplicate entries, a\n"
    "  section under a value's name, empty values, over-long names and texts), then any\n"
    "  of the sections MAIN, MAIN/SERVERS, NTACCOUNTS and ACCOUNTS that is missing.\n"
    "  Exit status: 0 no problems; 1 problems found; 2 FILE cannot be read or bad\n"
    "  arguments.\n";

bool IsHelp(const char* arg) {
  return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
}

int Usage(const char* problem) {
  std::fprintf(stderr, "vardcfg: %s\n%s", problem, kUsage);
  return kExitUsage;
}

int RunInit(const std::string& path) {
  std::string error;
  if (InitConfigFile(path, &error) != 1) {
    std::fprintf(stderr, "vardcfg: %s\n", error.c_str());
    return kExitFailed;
  }
  std::printf("%s: new configuration written\n", path.c_str());
  return kExitOk;
}

int RunCheck(const std::string& path) {
  std::vector<ConfigFinding> findings;
  std::string error;
  const CheckOutcome outcome = CheckConfigFile(path, &findings, &error);
  if (outcome == CheckOutcome::kUnreadable) {
    std::fprintf(stderr, "vardcfg: %s: cannot be read: %s\n", path.c_str(), error.c_str());
    return kExitUsage;
  }
  for (const ConfigFinding& finding : findings) {
    if (finding.line > 0) {
      std::printf("%s:%d: %s\n", path.c_str(), finding.line, finding.message.c_str());
    } else {
      std::printf("%s: %s\n", path.c_str(), finding.message.c_str());
    }
  }
  if (outcome == CheckOutcome::kClean) {
    std::printf("%s: no problems found\n", path.c_str());
    return kExitOk;
  }
  return kExitFailed;
}

int Main(int argc, char** argv) {
  if (argc < 2) return Usage("missing command");
  const std::string command = argv[1];
  if (IsHelp(argv[1])) {
    std::printf("%s\n%s\n%s\n%s", kUsage, kInitHelp, kCheckHelp, kPasswordCommandsHelp);
    return kExitOk;
  }
  if (IsPasswordCommand(command)) return RunPasswordCommand(argc, argv);
  if (command != "init" && command != "check") {
    return Usage(("unknown command '" + command + "'").c_str());
  }
  std::vector<std::string> files;
  bool options_done = false;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (!options_done && IsHelp(argv[i])) {
      std::fputs(command == "init" ? kInitHelp : kCheckHelp, stdout);
      return kExitOk;
    }
    if (!options_done && arg == "--") {
      options_done = true;
    } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
      return Usage(("unknown option '" + arg + "'").c_str());
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 1 || files[0].empty()) return Usage("expected exactly one FILE");
  return command == "init" ? RunInit(files[0]) : RunCheck(files[0]);
}

}  // namespace
}  // namespace vard

int main(int argc, char** argv) { return vard::Main(argc, argv); }
