#include "userpages/admin_user_actions.h"

#include "userpages/user_forms.h"
#include "userpages/user_operations.h"
#include "userpages/user_scope.h"

namespace vard {

int AdminListAuthority(TreeSection* root, FieldSet& form, FieldSet&) {
  return WriteUserList(AdminUserScope(root, form));
}

int AdminAddUser(TreeSection* root, FieldSet& form, FieldSet&) {
  return WriteAddUserForm(AdminUserScope(root, form), root);
}

int AdminAddUserDo(TreeSection* root, FieldSet& form, FieldSet&) {
  return AddUserDo(AdminUserScope(root, form), root, form);
}

int AdminDelUser(TreeSection* root, FieldSet& form, FieldSet&) {
  return WriteDelUserForm(AdminUserScope(root, form));
}

int AdminDelUserDo(TreeSection* root, FieldSet& form, FieldSet&) {
  return DelUserDo(AdminUserScope(root, form), root, form);
}

int AdminChangeUser(TreeSection* root, FieldSet& form, FieldSet&) {
  return WriteChangeUserForm(AdminUserScope(root, form));
}

int AdminChangeUserDo(TreeSection* root, FieldSet& form, FieldSet&) {
  return ChangeUserDo(AdminUserScope(root, form), root, form);
}

int AdminEditUser(TreeSection* root, FieldSet& form, FieldSet&) {
  return WriteEditUserForm(AdminUserScope(root, form), root, form);
}

}  // namespace vard
