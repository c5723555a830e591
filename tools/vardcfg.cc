// vardcfg: the administrator's command-line tool. "init" writes a new, empty configuration;
// "check" lists what in a configuration loads differently from how it reads or cannot work;
// "location" reads and sets where the settings store says the configuration is; "account",
// "authority", "binding" and "user" change or list the configuration under the same lock and
// with the same atomic save as the pages. The exit status tells scripts the outcome.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/config_lock.h"
#include "platform/settings_key.h"
#include "schema/names.h"
#include "tools/config_check.h"
#include "tools/config_init.h"
#include "tools/edit_commands.h"
#include "tools/password_input.h"
#include "tools/password_main.h"

namespace vard {
namespace {

constexpr char kUsage[] =
    "Usage: vardcfg init FILE [--event-log PATH]\n"
    "       vardcfg check [FILE]\n"
    "       vardcfg location show | location set CONFIG [BACKUP-DIR]\n"
    "       vardcfg [--config FILE] [--json] GROUP VERB [OPERANDS] [OPTIONS]\n"
    "       vardcfg hash-passwords FILE\n"
    "       vardcfg import-htpasswd FILE AUTHORITY HTPASSWD [--map-to ACCOUNT]\n"
    "       vardcfg [COMMAND] --help\n";

constexpr char kInitHelp[] =
    "vardcfg init FILE [--event-log PATH]\n"
    "  Writes a new configuration file holding the empty sections MAIN (with SERVERS\n"
    "  inside, and the filter's event log PATH when given), NTACCOUNTS and ACCOUNTS.\n"
    "  An existing FILE is never overwritten.\n"
    "  Exit status: 0 written; 1 not written (FILE exists or cannot be created);\n"
    "  2 bad arguments.\n";

constexpr char kCheckHelp[] =
    "vardcfg check [FILE]\n"
    "  Loads FILE (default: the configuration the settings store names) the way the\n"
    "  filter and the administration programs do and lists, as FILE:LINE: message, every\n"
    "  line that is ignored or loads differently from how it looks (unreadable lines,\n"
    "  unmatched or missing close lines, duplicate entries, a section under a value's\n"
    "  name, empty values, over-long names and texts), then any of the sections MAIN,\n"
    "  MAIN/SERVERS, NTACCOUNTS and ACCOUNTS that is missing, bindings to missing\n"
    "  authorities, users mapped to missing accounts, expiration dates the filter cannot\n"
    "  read and empty passwords.\n"
    "  Exit status: 0 no problems; 1 problems found; 2 FILE cannot be read or bad\n"
    "  arguments.\n";

constexpr char kEditHelp[] =
    "vardcfg location show\n"
    "vardcfg location set CONFIG [BACKUP-DIR]   (absolute paths)\n"
    "vardcfg account add|passwd NAME            (password on standard input)\n"
    "vardcfg account del NAME | account list\n"
    "vardcfg authority add NAME [--expiration-required]\n"
    "vardcfg authority del NAME | authority list\n"
    "vardcfg binding add HOST PORT AUTHORITY | binding del HOST PORT | binding list\n"
    "vardcfg user add AUTHORITY NAME [--map-to ACCOUNT | --no-map]\n"
    "        [--expires M/D/YYYY | --no-expiry] [--disabled | --enabled]\n"
    "                                           (password on standard input)\n"
    "vardcfg user set AUTHORITY NAME [the options of add] [--password]\n"
    "                                           (with --password: a new one on standard input)\n"
    "vardcfg user del AUTHORITY NAME | user list AUTHORITY | user show AUTHORITY NAME\n"
    "  The commands work on the configuration the settings store names, or on --config FILE.\n"
    "  A password is read from standard input (the first line), or asked for twice without\n"
    "  echo on a terminal; never from the command line. --json prints list and show output\n"
    "  as JSON. Changes are made under the configuration's lock and saved atomically.\n"
    "  Exit status: 0 done; 1 refused or failed (the reason on standard error, the\n"
    "  configuration unchanged); 2 bad arguments.\n";

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

int Usage(const std::string& problem) {
  std::fprintf(stderr, "vardcfg: %s\n%s", problem.c_str(), kUsage);
  return kExitUsage;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "vardcfg: %s\n", message.c_str());
  return kExitRefused;
}

// The command line split into words and options. Options may come anywhere before "--".
struct CommandLine {
  std::vector<std::string> words;
  std::vector<std::pair<std::string, std::string>> options;  // name, value ("" for flags)
  std::string config;
  bool json = false;
  bool help = false;
};

// Options taking a value; every other option is a flag.
bool TakesValue(const std::string& name) {
  return name == "--config" || name == "--map-to" || name == "--expires" || name == "--event-log";
}

int Parse(int argc, char** argv, CommandLine* line) {
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (options_done || arg.size() < 2 || arg[0] != '-') {
      line->words.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    if (IsHelp(arg)) {
      line->help = true;
      continue;
    }
    std::string value;
    const size_t equals = arg.find('=');
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
      arg.resize(equals);
      if (!TakesValue(arg)) return Usage("option '" + arg + "' takes no value");
    } else if (TakesValue(arg)) {
      if (i + 1 >= argc) return Usage("option '" + arg + "' needs a value");
      value = argv[++i];
    }
    if (arg == "--config") {
      line->config = value;
    } else if (arg == "--json") {
      line->json = true;
    } else {
      line->options.emplace_back(arg, value);
    }
  }
  return kExitOk;
}

// The configuration the command works on: --config, else the settings store's.
int ConfigPath(const CommandLine& line, std::string* path) {
  if (!line.config.empty()) {
    *path = line.config;
    return 1;
  }
  const SettingsKey key(Hive::kLocalMachine, kRegistryKey);
  const std::unique_ptr<char[]> value = key.ReadString(kConfigFileValue);
  if (value == nullptr || value[0] == '\0') {
    std::fprintf(stderr,
                 "vardcfg: the settings store %s names no configuration; use 'vardcfg location "
                 "set' or --config FILE\n",
                 RegistryPath().c_str());
    return 0;
  }
  *path = value.get();
  return 1;
}

int RunInit(const std::string& path, const std::string& event_log) {
  std::string error;
  if (InitConfigFile(path, &error, event_log) != 1) return Fail(error);
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
  return kExitRefused;
}

int RunLocation(const CommandLine& line) {
  const std::vector<std::string>& w = line.words;
  if (w.size() == 2 && w[1] == "show") {
    const SettingsKey key(Hive::kLocalMachine, kRegistryKey);
    const std::unique_ptr<char[]> config = key.ReadString(kConfigFileValue);
    const std::unique_ptr<char[]> backup = key.ReadString(kBackupDirValue);
    std::printf("settings store: %s\nconfiguration: %s\nbackup directory: %s\n",
                RegistryPath().c_str(), config ? config.get() : "(not set)",
                backup ? backup.get() : "(not set)");
    return kExitOk;
  }
  if (w.size() < 3 || w.size() > 4 || w[1] != "set") return Usage("bad location command");
  for (size_t i = 2; i < w.size(); ++i) {
    // The filter reads the store inside the web server, whose working directory is not ours.
    if (w[i].empty() || w[i][0] != '/') return Usage("'" + w[i] + "' is not an absolute path");
  }
  SettingsKey key(true, Hive::kLocalMachine, kRegistryKey);
  if (!key.WriteString(kConfigFileValue, w[2]) ||
      (w.size() == 4 && !key.WriteString(kBackupDirValue, w[3]))) {
    return Fail("the settings store " + RegistryPath() + " can not be written");
  }
  std::printf("settings store %s updated\n", RegistryPath().c_str());
  return kExitOk;
}

// Checks the options against the command's list and copies them into `input`.
int TakeOptions(const CommandForm& form, const CommandLine& line, CommandInput* input) {
  const std::string accepted = std::string(" ") + form.options + " ";
  for (const auto& [name, value] : line.options) {
    const bool flag = accepted.find(" " + name + " ") != std::string::npos;
    const bool valued = accepted.find(" " + name + "= ") != std::string::npos;
    if (!flag && !valued) return Usage("option '" + name + "' is not known to this command");
    input->options[name] = value;
  }
  return kExitOk;
}

int RunEdit(const CommandLine& line) {
  const CommandForm* form = FindCommand(line.words[0], line.words.size() > 1 ? line.words[1] : "");
  if (form == nullptr) return Usage("unknown command");
  CommandInput input;
  input.json = line.json;
  input.args.assign(line.words.begin() + 2, line.words.end());
  if (static_cast<int>(input.args.size()) != form->operand_count) {
    return Usage(std::string("expected: ") + form->group + " " + form->verb + " " + form->operands);
  }
  if (const int status = TakeOptions(*form, line, &input); status != kExitOk) return status;
  std::string path;
  if (!ConfigPath(line, &path)) return kExitRefused;
  // Asked before the lock is taken: a person at a prompt must not hold up the pages.
  if (form->password == PasswordUse::kAlways ||
      (form->password == PasswordUse::kWithOption && input.Has("--password"))) {
    std::string error;
    if (!ReadPassword(&input.password, &error)) return Fail(error);
  }
  const ConfigLock lock(path, form->writes ? LockMode::kExclusive : LockMode::kShared);
  TreeSection root(path, true);
  if (root.LoadFile() != 1) return Fail(path + ": cannot be read: " + std::strerror(errno));
  const CommandResult result = form->run(&root, input);
  if (result.status != kExitOk) return Fail(result.error);
  if (result.changed && root.SaveFile() != 1) {
    return Fail(path + ": could not be saved - nothing was changed: " + std::strerror(errno));
  }
  std::fputs(result.out.c_str(), stdout);
  return kExitOk;
}

int Main(int argc, char** argv) {
  if (argc >= 2 && IsPasswordCommand(argv[1])) return RunPasswordCommand(argc, argv);
  CommandLine line;
  if (const int status = Parse(argc, argv, &line); status != kExitOk) return status;
  const std::string command = line.words.empty() ? "" : line.words[0];
  if (line.help) {
    if (command == "init") {
      std::fputs(kInitHelp, stdout);
    } else if (command == "check") {
      std::fputs(kCheckHelp, stdout);
    } else if (command.empty()) {
      std::printf("%s\n%s\n%s\n%s\n%s", kUsage, kInitHelp, kCheckHelp, kEditHelp,
                  kPasswordCommandsHelp);
    } else {
      std::fputs(kEditHelp, stdout);
    }
    return kExitOk;
  }
  if (command.empty()) return Usage("missing command");
  if (command == "init" || command == "check") {
    std::string event_log;
    for (const auto& [name, value] : line.options) {
      if (command != "init" || name != "--event-log") return Usage("unknown option '" + name + "'");
      event_log = value;
    }
    if (command == "init" || line.words.size() > 1 || !line.config.empty()) {
      if (line.words.size() != 2 || line.words[1].empty()) {
        return Usage("expected exactly one FILE");
      }
      return command == "init" ? RunInit(line.words[1], event_log) : RunCheck(line.words[1]);
    }
    std::string path;
    if (!ConfigPath(line, &path)) return kExitUsage;
    return RunCheck(path);
  }
  if (command == "location") {
    if (!line.options.empty()) return Usage("unknown option '" + line.options[0].first + "'");
    return RunLocation(line);
  }
  if (command == "account" || command == "authority" || command == "binding" || command == "user") {
    return RunEdit(line);
  }
  return Usage("unknown command '" + command + "'");
}

}  // namespace
}  // namespace vard

int main(int argc, char** argv) { return vard::Main(argc, argv); }
