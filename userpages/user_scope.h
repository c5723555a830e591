// The authority that the user pages work on, and the points in which the two programs' editions
// of those pages differ. The administration program takes the authority from the posted field
// `Authority`; the site program from the binding of the site it is called on. Plain data, built
// per request on its one thread.
#ifndef VARDOMAR_USERPAGES_USER_SCOPE_H_
#define VARDOMAR_USERPAGES_USER_SCOPE_H_

#include <string>

#include "cgi/request.h"
#include "tree/tree_node.h"

namespace vard {

enum class Edition { kAdmin, kSite };

// What a user page needs beyond the request fields. Does not own the authority section: it
// belongs to the configuration root of the request.
struct UserScope {
  Edition edition = Edition::kAdmin;
  // The authority section; &TreeSection::Null when it does not exist.
  TreeSection* authority = &TreeSection::Null;
  // The name that messages show for the authority: the posted `Authority` text in the
  // administration edition, the section's own name in the site edition.
  std::string authority_name;
  // The text of the posted field `Authority`, carried on in the hidden fields of the forms.
  std::string posted_authority;
  // Site edition: the request's site name (VARDOMAR_SITE_NAME), which names it on the user list.
  std::string server_name;
};

// The administration edition's scope: the section of ACCOUNTS named by the posted `Authority`.
UserScope AdminUserScope(TreeSection* root, const FieldSet& form);

}  // namespace vard

#endif  // VARDOMAR_USERPAGES_USER_SCOPE_H_
