#include "site/site_actions.h"

#include "site/find_site_authority.h"
#include "userpages/user_actions.h"
#include "userpages/user_markup.h"

namespace vard {
namespace {

using SiteUserActions = UserActions<SiteUserScope>;

constexpr Action kNamedActions[] = {
    {"AddUser", SiteUserActions::AddUser},       {"AddUserDo", SiteUserActions::AddUserDo},
    {"DelUser", SiteUserActions::DelUser},       {"DelUserDo", SiteUserActions::DelUserDo},
    {"ChangeUser", SiteUserActions::ChangeUser}, {"ChangeUserDo", SiteUserActions::ChangeUserDo},
    {"EditUser", SiteUserActions::EditUser},
};

}  // namespace

UserScope SiteUserScope(TreeSection* root, const FieldSet& form) {
  UserScope scope;
  scope.edition = Edition::kSite;
  scope.authority = FindSiteAuthority(root);
  scope.authority_name = NameOf(scope.authority);
  scope.posted_authority = form.Get("Authority").Text();
  scope.server_name = SiteName();
  return scope;
}

const ActionTable& SiteActions() {
  static constexpr ActionTable kActions = {SiteUserActions::ListAuthority, kNamedActions};
  return kActions;
}

}  // namespace vard
