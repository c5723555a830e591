#include "userpages/user_scope.h"

#include "schema/names.h"

namespace vard {

UserScope AdminUserScope(TreeSection* root, const FieldSet& form) {
  UserScope scope;
  scope.edition = Edition::kAdmin;
  scope.posted_authority = form.Get("Authority").Text();
  scope.authority_name = scope.posted_authority;
  scope.authority = root->GetSection(kAccounts)->GetSection(scope.posted_authority);
  return scope;
}

}  // namespace vard
