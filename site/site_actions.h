// The user pages as the site program serves them: the authority is always the one bound to the
// site the program is called on. The action table of the site program and its start page.
// One request, one thread.
#ifndef VARDOMAR_SITE_SITE_ACTIONS_H_
#define VARDOMAR_SITE_SITE_ACTIONS_H_

#include "cgi/action.h"
#include "cgi/request.h"
#include "tree/tree_node.h"
#include "userpages/user_scope.h"

namespace vard {

// The site edition's scope: FindSiteAuthority's section, named in messages by its own name.
UserScope SiteUserScope(TreeSection* root, const FieldSet& form);

// The start page (the empty action): the list of the site authority's users. Returns 1.
int SiteUserList(TreeSection* root, FieldSet& form, FieldSet& query);

// The seven actions of the site program, in their fixed order.
inline constexpr int kSiteActionCount = 7;
extern const Action kSiteActions[kSiteActionCount];

}  // namespace vard

#endif  // VARDOMAR_SITE_SITE_ACTIONS_H_
