#include "userpages/user_operations.h"

#include <string>
#include <string_view>

#include "cgi/html.h"
#include "cgi/page.h"
#include "cgi/save.h"
#include "schema/names.h"
#include "userpages/user_record.h"

namespace vard {
namespace {

// Writes the refusal for a missing authority and returns true when the scope has none. The
// pages never create an authority, so nothing may be changed or saved then.
bool RefuseMissingAuthority(const UserScope& scope) {
  if (!scope.authority->IsNull()) return false;
  Write("Authority <b>");
  WriteEscaped(scope.authority_name);
  WriteLine("</b> not found !");
  return true;
}

// Writes `refusal` and returns true when it is not empty.
bool Refused(const std::string& refusal) {
  if (refusal.empty()) return false;
  WriteLine(refusal);
  return true;
}

// Writes the refusal for a password the library could not hash; returns the page's result.
int RefuseUnhashed() {
  WriteLine("Password could not be stored as a hash ! Nothing was changed.");
  return 1;
}

// Writes "User <b>NAME</b> <verb> authority <B>AUTHORITY</B>".
void WriteDone(const UserScope& scope, std::string_view user, std::string_view verb) {
  Write("User <b>");
  WriteEscaped(user);
  Write("</b> ");
  Write(verb);
  Write(" authority <B>");
  WriteEscaped(scope.authority_name);
  WriteLine("</B>");
}

}  // namespace

int AddUserDo(const UserScope& scope, TreeSection* root, const FieldSet& form) {
  if (RefuseMissingAuthority(scope)) return 1;
  const std::string_view name = form.Get("User").Text();
  const bool hashing = HashesPasswords(*root);
  if (Refused(RefuseUserName(scope, name)) || Refused(RefuseEmptyPassword(form)) ||
      Refused(RefuseUserTexts(form)) || Refused(RefuseHashLikePassword(form, hashing))) {
    return 1;
  }
  if (!scope.authority->GetSection(name)->IsNull()) {
    Write("User <B>");
    WriteEscaped(name);
    Write("</B> already exist in authority <B>");
    WriteEscaped(scope.authority_name);
    WriteLine("</b>");
    return 1;
  }
  std::string password;
  if (!PasswordToStore(form, hashing, {}, &password)) return RefuseUnhashed();
  // RefuseUserName has ruled out a value of this name, the one thing that stops OpenSection.
  WriteUserValues(scope.authority->OpenSection(name), form, password);
  if (!SaveConfiguration(root)) return 1;
  WriteDone(scope, name, "added to");
  return 1;
}

int DelUserDo(const UserScope& scope, TreeSection* root, const FieldSet& form) {
  if (RefuseMissingAuthority(scope)) return 1;
  const std::string_view name = form.Get("User").Text();
  // Remove takes any child of that name: an option of the authority must not go as a user.
  if (Refused(RefuseReservedName(scope, name))) return 1;
  scope.authority->Remove(name);
  if (!SaveConfiguration(root)) return 1;
  WriteDone(scope, name, "deleted from");
  return 1;
}

int ChangeUserDo(const UserScope& scope, TreeSection* root, const FieldSet& form) {
  if (RefuseMissingAuthority(scope)) return 1;
  const std::string_view name = form.Get("User").Text();
  const bool hashing = HashesPasswords(*root);
  const std::string_view kept = KeptPassword(*root, *scope.authority->GetSection(name));
  if (Refused(RefuseUserName(scope, name)) || Refused(RefuseEmptyPassword(form, kept)) ||
      Refused(RefuseUserTexts(form)) || Refused(RefuseHashLikePassword(form, hashing))) {
    return 1;
  }
  // Made before the old section (which `kept` points into) goes.
  std::string password;
  if (!PasswordToStore(form, hashing, kept, &password)) return RefuseUnhashed();
  // The new section takes the hole the old one leaves, so the user keeps its place.
  scope.authority->Remove(name);
  TreeSection* user = scope.authority->OpenSection(name);
  WriteUserValues(user, form, password);
  if (!SaveConfiguration(root)) return 1;
  WriteDone(scope, name, "changed in");
  Write(ExpireDateWarning(user->GetValue(kExpireDate)->GetString()));
  return 1;
}

}  // namespace vard
