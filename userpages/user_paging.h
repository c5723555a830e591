// Paging of the user pages for an authority too large to show at once: which users a page of the
// user list or of the delete and change choosers shows (a name filter and a page number), the
// fields that carry both from page to page, and the navigation those pages write. An authority
// of up to kUsersPerPage users is never paged, so its pages stay as they are. Stateless; one
// request, one thread.
#ifndef VARDOMAR_USERPAGES_USER_PAGING_H_
#define VARDOMAR_USERPAGES_USER_PAGING_H_

#include <string>
#include <string_view>
#include <vector>

#include "cgi/request.h"
#include "tree/tree_node.h"
#include "userpages/user_scope.h"

namespace vard {

// The most users one page shows; an authority with more is shown a page at a time.
inline constexpr int kUsersPerPage = 200;

// Fills the empty set `fields` with the fields of the pages that only show users: `Authority`,
// `Find` (the name filter) and `Page` (1-based), each as posted in `form`, else from `query`.
// The filter form posts them; the Previous and Next links, being links, carry them in the query.
// Operations never read the query: what changes the configuration is always posted.
void ReadNavigationFields(const FieldSet& form, const FieldSet& query, FieldSet* fields);

// True when `name` contains `part`, letters A to Z compared ignoring case as names are; an empty
// `part` is contained in every name.
bool NameContains(std::string_view name, std::string_view part);

// The users one page shows. Borrows the user sections from the authority, which must outlive it.
struct UserPage {
  // More than kUsersPerPage users: the page shows one slice of the filtered list.
  bool paged = false;
  // The name filter, at most as long as the longest name; empty when not paged.
  std::string find;
  // Users whose names contain `find` (all users when not paged).
  int matches = 0;
  // The page shown, 1..pages; pages is 1 when nothing matches.
  int number = 1;
  int pages = 1;
  // The users shown, in slot order: all of them when not paged, else matches
  // (number - 1) * kUsersPerPage + 1 onwards, at most kUsersPerPage.
  std::vector<const TreeSection*> users;
};

// The page of `authority` that the navigation fields ask for. A page number below 1 or not a
// number gives the first page, one beyond the last the last page. An authority of up to
// kUsersPerPage users gives all its users, whatever the fields say.
UserPage ChooseUserPage(const TreeSection& authority, const FieldSet& fields);

// For a paged page: the filter form and the line saying which users are shown, with a Previous
// and a Next link where there is such a page. The form and the links lead to `action`, the page
// being written, and carry the filter on (and the authority, in the administration edition).
void WritePageNavigation(const UserScope& scope, std::string_view action, const UserPage& page);

// The name of the hidden field with which the choosers' text box asks that the user exist.
inline constexpr std::string_view kMustExistField = "MustExist";

// When the posted form asks that the posted `User` exist (kMustExistField) and the authority
// has no such user, writes "User <b>NAME</b> not found !" and returns true: a typed name that
// misses must neither delete nothing as if it had nor open a new user's form. False otherwise,
// and when the authority itself is missing (the page refuses that on its own).
bool RefuseUnknownUser(const UserScope& scope, const FieldSet& form);

}  // namespace vard

#endif  // VARDOMAR_USERPAGES_USER_PAGING_H_
