// The user pages as handlers of a program's action table: each builds the request's UserScope
// with the program's scope function and runs the shared page or operation in that edition. The
// administration program instantiates them with AdminUserScope, the site program with its own.
// Stateless function templates; one request, one thread.
#ifndef VARD_USERPAGES_USER_ACTIONS_H_
#define VARD_USERPAGES_USER_ACTIONS_H_

#include "cgi/request.h"
#include "tree/tree_node.h"
#include "userpages/user_forms.h"
#include "userpages/user_operations.h"
#include "userpages/user_scope.h"

namespace vard {

// Finds the authority a request's user pages work on; see AdminUserScope.
using UserScopeMaker = UserScope (*)(TreeSection* root, const FieldSet& form);

// Never instantiated: the static members are the handlers (cgi/action.h). Each receives the
// loaded configuration root, FormFields and QueryFields, writes into the content cell and
// returns 1. The three "Do" operations save the root when they change it.
template <UserScopeMaker kScope>
struct UserActions {
  static int ListAuthority(TreeSection* root, FieldSet& form, FieldSet&) {
    return WriteUserList(kScope(root, form));
  }
  static int AddUser(TreeSection* root, FieldSet& form, FieldSet&) {
    return WriteAddUserForm(kScope(root, form), root);
  }
  static int AddUserDo(TreeSection* root, FieldSet& form, FieldSet&) {
    return vard::AddUserDo(kScope(root, form), root, form);
  }
  static int DelUser(TreeSection* root, FieldSet& form, FieldSet&) {
    return WriteDelUserForm(kScope(root, form));
  }
  static int DelUserDo(TreeSection* root, FieldSet& form, FieldSet&) {
    return vard::DelUserDo(kScope(root, form), root, form);
  }
  static int ChangeUser(TreeSection* root, FieldSet& form, FieldSet&) {
    return WriteChangeUserForm(kScope(root, form));
  }
  static int ChangeUserDo(TreeSection* root, FieldSet& form, FieldSet&) {
    return vard::ChangeUserDo(kScope(root, form), root, form);
  }
  static int EditUser(TreeSection* root, FieldSet& form, FieldSet&) {
    return WriteEditUserForm(kScope(root, form), root, form);
  }
};

}  // namespace vard

#endif  // VARD_USERPAGES_USER_ACTIONS_H_
