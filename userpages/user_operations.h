// The three user operations: add, delete and change (replace) a user of the scope's authority.
// Each checks its input, changes the tree, saves the whole configuration once and writes its
// one-line result into the content cell; a refused input changes and saves nothing. The caller
// holds the configuration lock exclusively around load, change and save. One request, one thread.
#ifndef VARDOMAR_USERPAGES_USER_OPERATIONS_H_
#define VARDOMAR_USERPAGES_USER_OPERATIONS_H_

#include "cgi/request.h"
#include "tree/tree_node.h"
#include "userpages/user_scope.h"

namespace vard {

// Adds the user named by the posted `User` with the posted values, unless the authority does not
// exist, the name, an empty password or a text is refused, or the user exists already (ignoring
// case). Returns 1.
int AddUserDo(const UserScope& scope, TreeSection* root, const FieldSet& form);

// Removes the user named by the posted `User`; a name that is not there removes nothing and is
// confirmed all the same. A name held by a value of the authority is refused. Returns 1.
int DelUserDo(const UserScope& scope, TreeSection* root, const FieldSet& form);

// Replaces the record of the user named by the posted `User` in its own slot (creating the user
// when it does not exist), then warns about an expiration text the filter will not accept. The
// same refusals as AddUserDo but the existing user. Returns 1.
int ChangeUserDo(const UserScope& scope, TreeSection* root, const FieldSet& form);

}  // namespace vard

#endif  // VARDOMAR_USERPAGES_USER_OPERATIONS_H_
