// The configuration commands of vardcfg (account, authority, binding, user): each works on a
// loaded configuration tree and says what to print and whether to save, so the front end owns
// all input, locking and saving. They decide with the same entry rules as the pages
// (schema/entry_rules.h). Stateless; one call at a time per tree.
#ifndef VARDOMAR_TOOLS_EDIT_COMMANDS_H_
#define VARDOMAR_TOOLS_EDIT_COMMANDS_H_

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tree/tree_node.h"

namespace vard {

// The exit statuses of vardcfg, documented in its help.
inline constexpr int kExitOk = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitUsage = 2;

struct CommandInput {
  std::vector<std::string> args;  // the operands after "GROUP VERB"
  // The options given: "--map-to" and "--expires" with their value, flags with "".
  std::map<std::string, std::string, std::less<>> options;
  std::string password;  // read by the front end when the command needs one
  bool json = false;
  bool Has(std::string_view option) const { return options.count(option) != 0; }
};

struct CommandResult {
  int status = kExitOk;
  bool changed = false;  // the tree was changed and must be saved
  std::string out;       // for standard output
  std::string error;     // for standard error when status is not kExitOk
};

enum class PasswordUse { kNone, kAlways, kWithOption };  // kWithOption: when --password is given

struct CommandForm {
  const char* group;
  const char* verb;
  const char* operands;  // as shown in the usage, e.g. "AUTHORITY NAME"
  int operand_count;
  const char* options;  // the accepted options, space-separated; "=" marks one taking a value
  PasswordUse password;
  bool writes;  // changes the configuration: exclusive lock and save
  CommandResult (*run)(TreeSection* root, const CommandInput& input);
};

// The command named by `group` and `verb`, or null.
const CommandForm* FindCommand(std::string_view group, std::string_view verb);

// Every command, for the usage text.
const std::vector<CommandForm>& AllCommands();

// `text` in single quotes for a message, control bytes shown as \xHH.
std::string Quoted(std::string_view text);

// The list and show commands, in list_commands.cc.
CommandResult ListAccounts(TreeSection* root, const CommandInput& input);
CommandResult ListAuthorities(TreeSection* root, const CommandInput& input);
CommandResult ListBindings(TreeSection* root, const CommandInput& input);
CommandResult ListUsers(TreeSection* root, const CommandInput& input);
CommandResult ShowUser(TreeSection* root, const CommandInput& input);

}  // namespace vard

#endif  // VARDOMAR_TOOLS_EDIT_COMMANDS_H_
