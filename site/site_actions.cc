#include "site/site_actions.h"

#include <cstdlib>

#include "site/find_site_authority.h"
#include "userpages/user_forms.h"
#include "userpages/user_markup.h"
#include "userpages/user_operations.h"

namespace vard {
namespace {

int SiteAddUser(TreeSection* root, FieldSet& form, FieldSet&) {
  return WriteAddUserForm(SiteUserScope(root, form), root);
}

int SiteAddUserDo(TreeSection* root, FieldSet& form, FieldSet&) {
  return AddUserDo(SiteUserScope(root, form), root, form);
}

int SiteDelUser(TreeSection* root, FieldSet& form, FieldSet&) {
  return WriteDelUserForm(SiteUserScope(root, form));
}

int SiteDelUserDo(TreeSection* root, FieldSet& form, FieldSet&) {
  return DelUserDo(SiteUserScope(root, form), root, form);
}

int SiteChangeUser(TreeSection* root, FieldSet& form, FieldSet&) {
  return WriteChangeUserForm(SiteUserScope(root, form));
}

int SiteChangeUserDo(TreeSection* root, FieldSet& form, FieldSet&) {
  return ChangeUserDo(SiteUserScope(root, form), root, form);
}

int SiteEditUser(TreeSection* root, FieldSet& form, FieldSet&) {
  return WriteEditUserForm(SiteUserScope(root, form), root, form);
}

}  // namespace

UserScope SiteUserScope(TreeSection* root, const FieldSet& form) {
  UserScope scope;
  scope.edition = Edition::kSite;
  scope.authority = FindSiteAuthority(root);
  scope.authority_name = NameOf(scope.authority);
  scope.posted_authority = form.Get("Authority").Text();
  const char* host = std::getenv("SERVER_NAME");
  scope.server_name = host != nullptr ? host : "";
  return scope;
}

int SiteUserList(TreeSection* root, FieldSet& form, FieldSet&) {
  return WriteUserList(SiteUserScope(root, form));
}

const Action kSiteActions[kSiteActionCount] = {
    {"AddUser", SiteAddUser},       {"AddUserDo", SiteAddUserDo},
    {"DelUser", SiteDelUser},       {"DelUserDo", SiteDelUserDo},
    {"ChangeUser", SiteChangeUser}, {"ChangeUserDo", SiteChangeUserDo},
    {"EditUser", SiteEditUser},
};

}  // namespace vard
