#include "tools/password_main.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/config_lock.h"
#include "tools/edit_commands.h"
#include "tools/password_commands.h"
#include "tree/tree_node.h"

namespace vard {
namespace {

// An htpasswd file of a million users is some tens of megabytes; anything larger is no such file.
constexpr std::streamsize kMaxHtpasswdBytes = 256 << 20;

int Usage(const std::string& problem) {
  std::fprintf(stderr, "vardcfg: %s\n%s", problem.c_str(), kPasswordCommandsHelp);
  return kExitUsage;
}

bool ReadHtpasswd(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  *text = buffer.str();
  return static_cast<std::streamsize>(text->size()) <= kMaxHtpasswdBytes;
}

}  // namespace

const char kPasswordCommandsHelp[] =
    "vardcfg hash-passwords FILE\n"
    "  Replaces every clear-text user password in FILE with its yescrypt hash, under the\n"
    "  pages' lock and with the same atomic save (the old file stays whole on failure).\n"
    "  Hashes are kept; empty passwords are reported and left alone.\n"
    "vardcfg import-htpasswd FILE AUTHORITY HTPASSWD [--map-to ACCOUNT]\n"
    "  Adds the users of the htpasswd file HTPASSWD to AUTHORITY with their hashes\n"
    "  unchanged and no expiration, mapped to the NT account ACCOUNT (without --map-to\n"
    "  they are not mapped, and the filter passes them on unchecked). Existing users are\n"
    "  kept; each line that cannot be taken is reported with its number.\n"
    "  Exit status: 0 done; 1 nothing saved, or (import) some lines not taken; 2 bad\n"
    "  arguments or a file that cannot be read.\n";

bool IsPasswordCommand(std::string_view command) {
  return command == "hash-passwords" || command == "import-htpasswd";
}

int RunPasswordCommand(int argc, char** argv) {
  const std::string command = argv[1];
  std::vector<std::string> operands;
  std::string map_to;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kPasswordCommandsHelp, stdout);
      return kExitOk;
    }
    if (arg == "--map-to" && command == "import-htpasswd" && i + 1 < argc) {
      map_to = argv[++i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage("unknown option '" + arg + "'");
    } else {
      operands.push_back(arg);
    }
  }
  const size_t expected = command == "hash-passwords" ? 1 : 3;
  if (operands.size() != expected || operands[0].empty()) {
    return Usage("wrong number of operands for " + command);
  }
  const std::string& path = operands[0];
  std::string htpasswd;
  if (command == "import-htpasswd" && !ReadHtpasswd(operands[2], &htpasswd)) {
    std::fprintf(stderr, "vardcfg: %s: cannot be read as an htpasswd file\n", operands[2].c_str());
    return kExitUsage;
  }

  const ConfigLock lock(path, LockMode::kExclusive);
  TreeSection root(path, true);
  if (root.LoadFile() != 1) {
    std::fprintf(stderr, "vardcfg: %s: cannot be read: %s\n", path.c_str(), std::strerror(errno));
    return kExitUsage;
  }
  const PasswordCommandResult result = command == "hash-passwords"
                                           ? HashAllPasswords(&root)
                                           : ImportHtpasswd(&root, operands[1], htpasswd, map_to);
  if (!result.ok) {
    std::fprintf(stderr, "vardcfg: %s\n", result.error.c_str());
    return kExitRefused;
  }
  std::string refusal;
  if (result.changed && root.SaveFile(&refusal) != 1) {
    std::fprintf(stderr, "vardcfg: %s: could not be saved - nothing was changed: %s\n",
                 path.c_str(), refusal.empty() ? std::strerror(errno) : refusal.c_str());
    return kExitRefused;
  }
  std::fputs(result.out.c_str(), stdout);
  if (!result.error.empty()) {
    std::fprintf(stderr, "%s: not taken:\n%s", operands[2].c_str(), result.error.c_str());
    return kExitRefused;
  }
  return kExitOk;
}

}  // namespace vard
