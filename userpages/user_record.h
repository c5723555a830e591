// A user's record as the user pages write it, and the checks that keep a posted user out of the
// configuration when the file could not store it faithfully. Shared by the add and change
// operations of both programs. Stateless; one request, one thread.
#ifndef VARDOMAR_USERPAGES_USER_RECORD_H_
#define VARDOMAR_USERPAGES_USER_RECORD_H_

#include <string>
#include <string_view>

#include "cgi/request.h"
#include "tree/tree_node.h"
#include "userpages/user_scope.h"

namespace vard {

// The refusal message for the user name `user` in the scope's authority, or "" when the name
// may become a user section. Refused, in this order: an empty name; a name the file cannot store
// as a section name; a name held by a value of the authority (such as ExpirationRequired), which
// a section can never take. Values in the message are HTML-escaped.
std::string RefuseUserName(const UserScope& scope, std::string_view user);

// The refusal message when `user` names a value of the scope's authority rather than a user
// section (such a name is never a user), or "".
std::string RefuseReservedName(const UserScope& scope, std::string_view user);

// Whether the configuration asks for new user passwords to be stored as hashes (MAIN /
// HashPasswords set).
bool HashesPasswords(const TreeSection& root);

// The password an empty posted `Pass` keeps when `user` is changed: its current one when the
// configuration stores hashes or the current one is a hash (the edit form shows neither, so it
// cannot be posted back); "" otherwise. Borrowed from the tree.
std::string_view KeptPassword(const TreeSection& root, const TreeSection& user);

// The refusal message when the posted `Pass` is empty and `kept` (see KeptPassword; "" when
// adding) is empty too, or "": a user without a password would be open to anyone who knows the
// name. The one owner of that rule for adding and changing a user.
std::string RefuseEmptyPassword(const FieldSet& form, std::string_view kept = {});

// The refusal message when the posted `Pass` would be stored as clear text (`hashing` false) but
// begins with a hash prefix, so the filter would read it as a hash; or "".
std::string RefuseHashLikePassword(const FieldSet& form, bool hashing);

// The Password text to store in `*stored`: `kept` for an empty posted `Pass`, else the posted one,
// hashed when `hashing`. false when the hash could not be made.
bool PasswordToStore(const FieldSet& form, bool hashing, std::string_view kept,
                     std::string* stored);

// The refusal message for the posted texts that would be stored (`Pass`, `Expire`, and `NTAcc`
// when the user is mapped), or "" when each is a value text the file can store.
std::string RefuseUserTexts(const FieldSet& form);

// True when the posted `MapTo` box asks for a mapped user ("ON", ignoring case).
bool PostedMapping(const FieldSet& form);

// Appends the user's values to the empty section `user`, in their fixed order: Password (the
// text `password`), DoNotMap, MapTo (only when mapped), expiredate, noexpiration, disabled.
void WriteUserValues(TreeSection* user, const FieldSet& form, std::string_view password);

// The warning written after a changed user's confirmation when the expiration text will not be
// accepted at log-on time: the format warning when it does not read as three numbers, the
// year warning when its year is above 2037; "" otherwise and for an empty text.
std::string ExpireDateWarning(const char* expire);

}  // namespace vard

#endif  // VARDOMAR_USERPAGES_USER_RECORD_H_
