// The user pages as actions of the administration program: each finds the authority by the
// posted field `Authority` and runs the shared page or operation in the administration edition.
// Handlers of the program's action table; one request, one thread.
#ifndef VARD_USERPAGES_ADMIN_USER_ACTIONS_H_
#define VARD_USERPAGES_ADMIN_USER_ACTIONS_H_

#include "cgi/request.h"
#include "tree/tree_node.h"

namespace vard {

// Each receives the loaded configuration root, FormFields and QueryFields, writes into the
// content cell and returns 1. The three "Do" operations save the root when they change it.
int AdminListAuthority(TreeSection* root, FieldSet& form, FieldSet& query);
int AdminAddUser(TreeSection* root, FieldSet& form, FieldSet& query);
int AdminAddUserDo(TreeSection* root, FieldSet& form, FieldSet& query);
int AdminDelUser(TreeSection* root, FieldSet& form, FieldSet& query);
int AdminDelUserDo(TreeSection* root, FieldSet& form, FieldSet& query);
int AdminChangeUser(TreeSection* root, FieldSet& form, FieldSet& query);
int AdminChangeUserDo(TreeSection* root, FieldSet& form, FieldSet& query);
int AdminEditUser(TreeSection* root, FieldSet& form, FieldSet& query);

}  // namespace vard

#endif  // VARD_USERPAGES_ADMIN_USER_ACTIONS_H_
