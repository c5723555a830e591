#include "userpages/user_record.h"

#include "cgi/html.h"
#include "schema/expire_date.h"
#include "schema/names.h"
#include "schema/password_hash.h"
#include "schema/storable.h"
#include "tree/named_object.h"

namespace vard {
namespace {

std::string RefuseText(const char* label) {
  return std::string(label) +
         " can not be stored - it must not contain line breaks and must not be longer than " +
         std::to_string(kMaxValueText) + " characters ! Nothing was changed.";
}

}  // namespace

std::string RefuseUserName(const UserScope& scope, std::string_view user) {
  if (user.empty()) return "User name can not be empty !";
  if (!IsStorableSectionName(user)) {
    return "User name <b>" + HtmlEscape(user) +
           "</b> can not be stored - it must not begin or end with a blank, must not contain "
           "&quot;:&quot;, "
           "&quot;;&quot; or control characters and must not be longer than " +
           std::to_string(kMaxEntryName) + " characters ! Nothing was changed.";
  }
  return RefuseReservedName(scope, user);
}

std::string RefuseReservedName(const UserScope& scope, std::string_view user) {
  if (scope.authority->GetValue(user)->IsNull()) return {};
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
  if (!IsStorableValueText(form.Get("Pass").Text())) return RefuseText("Password");
  if (PostedMapping(form) && !IsStorableValueText(form.Get("NTAcc").Text())) {
    return RefuseText("NT account name");
  }
  if (!IsStorableValueText(form.Get("Expire").Text())) return RefuseText("Expiration date");
  return {};
}

void WriteUserValues(TreeSection* user, const FieldSet& form, std::string_view password) {
  user->AddString(kPassword, password);
  user->AddInt(kDoNotMap, PostedMapping(form) ? 0 : 1);
  // The mapping is read back from the stored flag so that MapTo follows what the file says.
  if (user->GetValue(kDoNotMap)->GetInt() == 0) user->AddString(kMapTo, form.Get("NTAcc").Text());
  user->AddString(kExpireDate, form.Get("Expire").Text());
  user->AddInt(kNoExpiration, form.Get("noexpiration").Int());
  user->AddInt(kDisabled, form.Get("disabled").Int());
}

std::string ExpireDateWarning(const char* expire) {
  if (*expire == '\0') return {};
  int month = 0;
  int day = 0;
  int year = 0;
  if (!ReadExpireDate(expire, &month, &day, &year)) {
    return "<BR><I><B>Warning:</B> Date format specified can not be recognized - user "
           "authentication will fail if expiration is enabled !</I>";
  }
  if (year > kLastSupportedYear) {
    return "<BR><I><B>Warning:</B> Dates after year " + std::to_string(kLastSupportedYear) +
           " not supported - user authentication will fail if expiration is enabled !</I>";
  }
  return {};
}

}  // namespace vard
