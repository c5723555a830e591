// The user pages as handlers of a program's action table: each builds the request's UserScope
// with the program's scope function and runs the shared page or operation in that edition. The
// administration program instantiates them with AdminUserScope, the site program with its own.
// Stateless function templates; one request, one thread.
#ifndef VARDOMAR_USERPAGES_USER_ACTIONS_H_
#define VARDOMAR_USERPAGES_USER_ACTIONS_H_

#include "cgi/request.h"
#include "tree/tree_node.h"
#include "userpages/user_forms.h"
#include "userpages/user_operations.h"
#include "userpages/user_paging.h"
#include "userpages/user_scope.h"

namespace vard {

// Finds the authority a request's user pages work on; see AdminUserScope.
using UserScopeMaker = UserScope (*)(TreeSection* root, const FieldSet& form);

// Never instantiated: the static members are the handlers (cgi/action.h). Each receives the
// loaded configuration root, FormFields and QueryFields, writes into the content cell and
// returns 1. The three "Do" operations save the root when they change it and read only the
// posted form; the list and the two choosers also follow a link's query (ReadNavigationFields).
template <UserScopeMaker kScope>
struct UserActions {
  static int ListAuthority(TreeSection* root, FieldSet& form, FieldSet& query) {
    FieldSet fields;
    ReadNavigationFields(form, query, &fields);
    return WriteUserList(kScope(root, fields), fields);
  }
  static int AddUser(TreeSection* root, FieldSet& form, FieldSet&) {
    return WriteAddUserForm(kScope(root, form), root);
  }
  static int AddUserDo(TreeSection* root, FieldSet& form, FieldSet&) {
    return vard::AddUserDo(kScope(root, form), root, form);
  }
  static int DelUser(TreeSection* root, FieldSet& form, FieldSet& query) {
    FieldSet fields;
    ReadNavigationFields(form, query, &fields);
    return WriteDelUserForm(kScope(root, fields), fields);
  }
  static int DelUserDo(TreeSection* root, FieldSet& form, FieldSet&) {
    const UserScope scope = kScope(root, form);
    return RefuseUnknownUser(scope, form) ? 1 : vard::DelUserDo(scope, root, form);
  }
  static int ChangeUser(TreeSection* root, FieldSet& form, FieldSet& query) {
    FieldSet fields;
    ReadNavigationFields(form, query, &fields);
    return WriteChangeUserForm(kScope(root, fields), fields);
  }
  static int ChangeUserDo(TreeSection* root, FieldSet& form, FieldSet&) {
    return vard::ChangeUserDo(kScope(root, form), root, form);
  }
  static int EditUser(TreeSection* root, FieldSet& form, FieldSet&) {
    const UserScope scope = kScope(root, form);
    return RefuseUnknownUser(scope, form) ? 1 : WriteEditUserForm(scope, root, form);
  }
};

}  // namespace vard

#endif  // VARDOMAR_USERPAGES_USER_ACTIONS_H_
