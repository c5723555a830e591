// The rules a new or changed entry (account, authority, user, binding) must pass before it is
// stored, and the layout of a user's record. The administration pages and the command-line tool
// both decide with these functions and word the verdicts each in their own medium, so the two
// can never accept different things. Pure functions over the caller's tree: one thread at a time.
#ifndef VARDOMAR_SCHEMA_ENTRY_RULES_H_
#define VARDOMAR_SCHEMA_ENTRY_RULES_H_

#include <string_view>

#include "schema/expire_date.h"
#include "tree/tree_node.h"

namespace vard {

enum class NameVerdict {
  kAccepted,
  kEmpty,
  kUnstorable,  // the file cannot store it as a section name (IsStorableSectionName)
  kReserved,    // a value of the authority (such as ExpirationRequired) holds the name
};

// A new account or authority name: kEmpty, kUnstorable or kAccepted.
NameVerdict CheckSectionName(std::string_view name);

// A user name in `authority`: as CheckSectionName, then kReserved when a value of the authority
// holds the name, which a user section could never take.
NameVerdict CheckUserName(const TreeSection& authority, std::string_view name);

// Whether a value of `authority` holds `name` (compared ignoring case): such a name is never a
// user, so deleting a user of that name must be refused.
bool IsReservedUserName(const TreeSection& authority, std::string_view name);

enum class DateVerdict {
  kAccepted,     // empty, or three numbers with a year the filter supports
  kUnreadable,   // not three numbers separated by "/"
  kYearTooLate,  // a year after kLastSupportedYear
};

// What the filter will make of the expiration text `text` at log-on time. Only the year is
// checked against the calendar, as the filter does.
DateVerdict CheckExpireDate(const char* text);

enum class BindingVerdict {
  kAccepted,
  kBadPort,       // the port text does not read as a number above 0, or makes the key unstorable
  kNoHost,        // empty host
  kBadHost,       // IsStorableBindingHost refuses it
  kTooLong,       // host and port together are too long for a value name
  kBadAuthority,  // the authority name is not a storable value text
};

// A binding of `host` and the typed `port_text` to `authority`, checked in that order; `key` is
// the binding key the caller will store (BindingKeyFromForm).
BindingVerdict CheckBinding(std::string_view host, std::string_view port_text, std::string_view key,
                            std::string_view authority);

// A user's values as they are stored. The views must outlive the call.
struct UserRecord {
  std::string_view password;
  bool mapped = false;
  std::string_view map_to;  // stored only when mapped
  std::string_view expire_date;
  int no_expiration = 0;
  int disabled = 0;
};

// Whether every text of `record` that would be stored is a storable value text; `which` (when
// not null) is then left alone, else set to the first failing one: 'p' password, 'm' map_to,
// 'e' expire_date.
bool RecordTextsStorable(const UserRecord& record, char* which);

// Appends the record's values to the empty section `user`, in their fixed order: Password,
// DoNotMap, MapTo (only when mapped), expiredate, noexpiration, disabled.
void WriteUserRecord(TreeSection* user, const UserRecord& record);

// Reads the stored values of `user` back into a record whose views point into the tree.
UserRecord ReadUserRecord(const TreeSection& user);

}  // namespace vard

#endif  // VARDOMAR_SCHEMA_ENTRY_RULES_H_
