// The password commands of vardcfg: hash every clear-text user password of a configuration in
// place, and add the users of an htpasswd file to an authority with their hashes unchanged. Each
// works on a loaded tree and says what to print and whether to save; the front end owns the
// lock, the load and the atomic save. Stateless; one call at a time per tree.
#ifndef VARDOMAR_TOOLS_PASSWORD_COMMANDS_H_
#define VARDOMAR_TOOLS_PASSWORD_COMMANDS_H_

#include <string>
#include <string_view>

#include "tree/tree_node.h"

namespace vard {

struct PasswordCommandResult {
  bool ok = true;        // false: nothing may be saved, `error` says why
  bool changed = false;  // the tree was changed and must be saved
  std::string out;       // what was done, for standard output
  std::string error;     // for standard error: the failure, or the lines that were not taken
};

// Replaces every non-empty clear-text user password in ACCOUNTS with its yescrypt hash; hashes
// stay as they are, empty passwords are reported and left alone. Not ok (and the tree to be
// dropped) when a hash cannot be made.
PasswordCommandResult HashAllPasswords(TreeSection* root);

// Adds the users of the htpasswd text `htpasswd` ("name:hash" lines; empty lines and lines
// beginning with "#" are skipped) to the authority `authority`, each with its hash as Password,
// no expiration, mapped to the NT account `map_to` or, when `map_to` is empty, not mapped. A line
// is not taken (and reported in `error` with its number) when it has no ":", its name cannot be a
// user of the authority, the user exists already, or its hash is not one the filter recognises.
// Not ok when the authority or the account does not exist. `changed` when a user was added.
PasswordCommandResult ImportHtpasswd(TreeSection* root, std::string_view authority,
                                     std::string_view htpasswd, std::string_view map_to);

}  // namespace vard

#endif  // VARDOMAR_TOOLS_PASSWORD_COMMANDS_H_
