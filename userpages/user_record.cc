#include "userpages/user_record.h"

#include "cgi/html.h"
#include "schema/entry_rules.h"
#include "schema/names.h"
#include "schema/password_hash.h"
#include "tree/named_object.h"
#include "tree/text_format.h"

namespace vard {
namespace {

std::string RefuseText(const char* label) {
  return std::string(label) +
         " can not be stored - it must not contain line breaks and must not be longer than " +
         std::to_string(kMaxValueText) + " characters ! Nothing was changed.";
}

UserRecord PostedRecord(const FieldSet& form) {
  UserRecord record;
  record.password = form.Get("Pass").Text();
  record.mapped = PostedMapping(form);
  record.map_to = form.Get("NTAcc").Text();
  record.expire_date = form.Get("Expire").Text();
  record.no_expiration = form.Get("noexpiration").Int();
  record.disabled = form.Get("disabled").Int();
  return record;
}

}  // namespace

std::string RefuseUserName(const UserScope& scope, std::string_view user) {
  switch (CheckUserName(*scope.authority, user)) {
    case NameVerdict::kAccepted:
      return {};
    case NameVerdict::kEmpty:
      return "User name can not be empty !";
    case NameVerdict::kUnstorable:
      return "User name <b>" + HtmlEscape(user) +
             "</b> can not be stored - it must not begin or end with a blank, must not contain "
             "&quot;:&quot;, "
             "&quot;;&quot; or control characters and must not be longer than " +
             std::to_string(kMaxEntryName) + " characters ! Nothing was changed.";
    case NameVerdict::kReserved:
      break;
  }
  return RefuseReservedName(scope, user);
}

std::string RefuseReservedName(const UserScope& scope, std::string_view user) {
  if (!IsReservedUserName(*scope.authority, user)) return {};
  return "User name <b>" + HtmlEscape(user) + "</b> is reserved for an option of authority <B>" +
         HtmlEscape(scope.authority_name) + "</B> ! Nothing was changed.";
}

bool HashesPasswords(const TreeSection& root) {
  return root.GetSection(kMain)->GetValue(kHashPasswords)->GetInt() != 0;
}

std::string_view KeptPassword(const TreeSection& root, const TreeSection& user) {
  const std::string_view current = user.GetValue(kPassword)->GetString();
  return HashesPasswords(root) || IsPasswordHash(current) ? current : std::string_view();
}

std::string RefuseEmptyPassword(const FieldSet& form, std::string_view kept) {
  if (*form.Get("Pass").Text() != '\0' || !kept.empty()) return {};
  return "Password can not be empty ! Nothing was changed.";
}

std::string RefuseHashLikePassword(const FieldSet& form, bool hashing) {
  if (hashing || !IsPasswordHash(form.Get("Pass").Text())) return {};
  return "Password can not be stored as clear text - it begins like a password hash (such as "
         "&quot;$2y$&quot;, &quot;$apr1$&quot; or &quot;{SHA}&quot;) and would be read as one ! "
         "Nothing was changed.";
}

bool PasswordToStore(const FieldSet& form, bool hashing, std::string_view kept,
                     std::string* stored) {
  const std::string_view posted = form.Get("Pass").Text();
  if (posted.empty()) {
    *stored = kept;
    return true;
  }
  if (hashing) return HashPassword(posted, stored);
  *stored = posted;
  return true;
}

bool PostedMapping(const FieldSet& form) { return NamesEqual(form.Get("MapTo").Text(), "ON"); }

std::string RefuseUserTexts(const FieldSet& form) {
  char which = 0;
  if (RecordTextsStorable(PostedRecord(form), &which)) return {};
  if (which == 'p') return RefuseText("Password");
  if (which == 'm') return RefuseText("NT account name");
  return RefuseText("Expiration date");
}

void WriteUserValues(TreeSection* user, const FieldSet& form, std::string_view password) {
  UserRecord record = PostedRecord(form);
  record.password = password;
  WriteUserRecord(user, record);
}

std::string ExpireDateWarning(const char* expire) {
  switch (CheckExpireDate(expire)) {
    case DateVerdict::kAccepted:
      return {};
    case DateVerdict::kUnreadable:
      return "<BR><I><B>Warning:</B> Date format specified can not be recognized - user "
             "authentication will fail if expiration is enabled !</I>";
    case DateVerdict::kYearTooLate:
      break;
  }
  return "<BR><I><B>Warning:</B> Dates after year " + std::to_string(kLastSupportedYear) +
         " not supported - user authentication will fail if expiration is enabled !</I>";
}

}  // namespace vard
