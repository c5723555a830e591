// The five user pages that show and do not change: the user list, the add form, the delete and
// change choosers and the edit form, each in the edition its scope names. They write into the
// content cell of the calling program's frame. One request, one thread.
#ifndef VARDOMAR_USERPAGES_USER_FORMS_H_
#define VARDOMAR_USERPAGES_USER_FORMS_H_

#include "cgi/request.h"
#include "tree/tree_node.h"
#include "userpages/user_scope.h"

namespace vard {

// Table of the authority's users with an Edit and a Delete form per row; the heading row alone
// when the authority has no users or does not exist. An authority of more than kUsersPerPage
// users shows the page that `fields` ask for (ReadNavigationFields), below the filter form and
// the Previous and Next links. Returns 1.
int WriteUserList(const UserScope& scope, const FieldSet& fields);

// The form for a new user, posting to AddUserDo; `root` supplies the NT accounts. Returns 1.
int WriteAddUserForm(const UserScope& scope, const TreeSection* root);

// The list of users to delete, posting to DelUserDo. For more than kUsersPerPage users, a text
// box for the name instead, with the filter and the names of the page `fields` ask for.
// Returns 1.
int WriteDelUserForm(const UserScope& scope, const FieldSet& fields);

// The list of users to edit, posting to EditUser; paged as WriteDelUserForm. Returns 1.
int WriteChangeUserForm(const UserScope& scope, const FieldSet& fields);

// The settings of the user named by the posted `User`, posting to ChangeUserDo. A user that
// does not exist shows as a new mapped user. Returns 1.
int WriteEditUserForm(const UserScope& scope, const TreeSection* root, const FieldSet& form);

}  // namespace vard

#endif  // VARDOMAR_USERPAGES_USER_FORMS_H_
