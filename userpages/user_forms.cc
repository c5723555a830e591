#include "userpages/user_forms.h"

#include <string_view>

#include "cgi/html.h"
#include "cgi/page.h"
#include "schema/names.h"
#include "tree/named_object.h"
#include "userpages/user_markup.h"
#include "userpages/user_paging.h"
#include "userpages/user_record.h"

namespace vard {
namespace {

constexpr const char* kMappingNote[] = {
    "Please pay attention to the appropriate account selection. If you are adding user that will "
    "manage this authority - leave authentication",
    "task to the IIS by unchecking MapTo checkbox.",
};

void WriteHeading(std::string_view text) {
  Write("<p><b>");
  Write(text);
  WriteLine("</b></p>");
}

void WriteMappingNote() {
  Write("<p><i>");
  WriteLine(kMappingNote[0]);
  Write(kMappingNote[1]);
  WriteLine("</i></p>");
}

void WriteCheckbox(std::string_view name, std::string_view value, bool checked) {
  Write("<input type=\"checkbox\" name=\"");
  Write(name);
  Write("\" value=\"");
  Write(value);
  Write(checked ? "\" checked>" : "\">");
}

// The mapping box and the drop-down list of NT accounts; `selected` names the account marked
// selected (ignoring case), none when empty or unknown.
void WriteMapping(const TreeSection* root, bool mapped, std::string_view selected) {
  Write("<p>");
  WriteCheckbox("MapTo", "ON", mapped);
  WriteLine("Map to NT Account: <select size=\"1\" name=\"NTAcc\">");
  const TreeSection* accounts = root->GetSection(kNtAccounts);
  bool marked = false;
  for (int i = 1; i <= accounts->Count(); ++i) {
    const TreeSection* account = accounts->GetSectionAt(i);
    if (account->IsNull()) continue;
    // Only the first match is marked, so the browser never sees two selected options.
    const bool select = !marked && !selected.empty() && NamesEqual(NameOf(account), selected);
    marked = marked || select;
    WriteOption(NameOf(account), select);
  }
  WriteLine("</select></p>");
}

void WriteExpirationHelp() {
  WriteLine("If this value is empty access will be granted only if:<br>");
  WriteLine("- account does not expire<br>");
  Write("- Expiration required was not checked in the authority options");
}

// The user chooser of the delete and change pages: one option per user, none marked.
void WriteUserSelect(const TreeSection* authority, int size) {
  Write("<select size=\"");
  WriteInt(size);
  WriteLine("\" name=\"User\">");
  WriteSectionOptions(*authority);
  Write("</select>");
}

// The chooser `action` writes for a paged authority: a text box for the name, posting to
// `target` with the demand that the user exist, then the filter and the page's names to pick
// from. Returns 1.
int WriteNameChooser(const UserScope& scope, const UserPage& page, std::string_view action,
                     std::string_view target, std::string_view caption) {
  WriteFormStart(target);
  WriteHidden("Authority", scope.posted_authority);
  WriteHidden(kMustExistField, "1");
  Write("<p><b>Username:</b> ");
  WriteTextBox("User", "");
  Write(" ");
  WriteSubmit(caption);
  WriteLine("</p>");
  WriteLine("</form>");
  WritePageNavigation(scope, action, page);
  WriteLine("<p>");
  for (const TreeSection* user : page.users) {
    WriteEscaped(NameOf(user));
    WriteLine("<br>");
  }
  WriteLine("</p>");
  return 1;
}

void WriteCell(std::string_view text) {
  Write("<td bgcolor=\"#E0E0E0\">");
  WriteEscaped(text);
  WriteLine("</td>");
}

// One of the two one-button forms of a user row.
void WriteRowForm(const UserScope& scope, std::string_view action, std::string_view user,
                  std::string_view caption) {
  Write("<td bgcolor=\"#E0E0E0\">");
  WriteFormStart(action);
  if (scope.edition == Edition::kAdmin) WriteHidden("Authority", scope.posted_authority);
  WriteHidden("User", user);
  WriteSubmit(caption);
  WriteLine("</form></td>");
}

}  // namespace

int WriteUserList(const UserScope& scope, const FieldSet& fields) {
  if (scope.edition == Edition::kAdmin) {
    Write("Authority: <b>");
    WriteEscaped(scope.authority_name);
    WriteLine("</b><BR>");
  } else {
    Write("Administration of users for <b>");
    WriteEscaped(scope.server_name);
    WriteLine("</b><BR>");
  }
  WriteLine("List of registered users:<BR>");
  const UserPage page = ChooseUserPage(*scope.authority, fields);
  if (page.paged) {
    // The site program's user list is its start page, the empty action.
    WritePageNavigation(scope, scope.edition == Edition::kAdmin ? "ListAuthority" : "", page);
  }
  WriteLine("<table border=\"0\" cellspacing=\"1\" cellpadding=\"1\" width=\"100%\">");
  Write("<tr>");
  for (const char* heading : {"Username", "Mapped to NT Account ", "NT account", "Expire date",
                              "Disabled", "Edit", "Delete"}) {
    Write("<td class=\"outset\" align=\"center\" valign=\"middle\"><b>");
    Write(heading);
    Write("</b></td>");
  }
  WriteLine("</tr>");
  for (const TreeSection* user : page.users) {
    const std::string_view name = NameOf(user);
    WriteLine("<tr>");
    WriteCell(name);
    WriteCell(user->GetValue(kDoNotMap)->GetInt() != 0 ? "No" : "Yes");
    WriteCell(user->GetValue(kMapTo)->GetString());
    WriteCell(user->GetValue(kExpireDate)->GetString());
    WriteCell(user->GetValue(kDisabled)->GetInt() != 0 ? "Yes" : "No");
    WriteRowForm(scope, "EditUser", name, "Edit");
    WriteRowForm(scope, "DelUserDo", name, "Delete");
    WriteLine("</tr>");
  }
  WriteLine("</table>");
  return 1;
}

int WriteAddUserForm(const UserScope& scope, const TreeSection* root) {
  WriteHeading("Add user");
  WriteFormStart("AddUserDo");
  if (scope.edition == Edition::kAdmin) WriteHidden("Authority", scope.posted_authority);
  Write("<p><b>Username:</b> ");
  WriteTextBox("User", "");
  WriteLine("</p>");
  Write("<p>Password: ");
  WriteTextBox("Pass", "");
  WriteLine("</p>");
  WriteMappingNote();
  WriteMapping(root, true, {});
  Write("<p>");
  WriteCheckbox("noexpiration", "1", false);
  WriteLine(" Account does not expire. Ignored for non-mapped accounts.</p>");
  WriteLine(
      "<p><i>After date specified account will be disabled. Ignored for non-mapped "
      "accounts.</i></p>");
  Write("<p>Expiration (mm/dd/yyyy): ");
  WriteTextBox("Expire", "");
  WriteExpirationHelp();
  WriteLine("</p>");
  Write("<p>");
  WriteCheckbox("disabled", "1", false);
  WriteLine(" Account disabled.</p>");
  Write("<p>");
  WriteSubmit("Submit");
  WriteLine("</p>");
  WriteLine("</form>");
  return 1;
}

int WriteDelUserForm(const UserScope& scope, const FieldSet& fields) {
  WriteHeading("Delete User");
  const UserPage page = ChooseUserPage(*scope.authority, fields);
  if (page.paged) return WriteNameChooser(scope, page, "DelUser", "DelUserDo", "Delete");
  WriteFormStart("DelUserDo");
  WriteHidden("Authority", scope.posted_authority);
  Write("<p>");
  // The site edition offers a drop-down list, so its first user comes preselected.
  WriteUserSelect(scope.authority, scope.edition == Edition::kSite ? 1 : 12);
  Write(" ");
  WriteSubmit("Delete");
  WriteLine("</p>");
  WriteLine("</form>");
  return 1;
}

int WriteChangeUserForm(const UserScope& scope, const FieldSet& fields) {
  WriteHeading("User");
  const UserPage page = ChooseUserPage(*scope.authority, fields);
  if (page.paged) return WriteNameChooser(scope, page, "ChangeUser", "EditUser", "Submit");
  WriteFormStart("EditUser");
  WriteHidden("Authority", scope.posted_authority);
  Write("<p>");
  WriteUserSelect(scope.authority, 12);
  WriteLine("</p>");
  Write("<p>");
  WriteSubmit("Submit");
  WriteLine("</p>");
  WriteLine("</form>");
  return 1;
}

int WriteEditUserForm(const UserScope& scope, const TreeSection* root, const FieldSet& form) {
  const std::string_view name = form.Get("User").Text();
  const TreeSection* authority = scope.authority;
  const TreeSection* user = authority->GetSection(name);
  WriteHeading("User");
  WriteFormStart("ChangeUserDo");
  if (scope.edition == Edition::kAdmin) WriteHidden("Authority", scope.posted_authority);
  WriteHidden("User", name);
  Write("<p><b>Username:</b> ");
  WriteEscaped(name);
  WriteLine("</p>");
  Write("<p>Password: ");
  // A stored hash is never shown (a field left empty keeps the password), nor, once the pages
  // store hashes, any stored password.
  const char* password = user->GetValue(kPassword)->GetString();
  WriteTextBox("Pass", KeptPassword(*root, *user).empty() ? password : "");
  WriteLine("</p>");
  WriteMappingNote();
  WriteMapping(root, user->GetValue(kDoNotMap)->GetInt() == 0, user->GetValue(kMapTo)->GetString());
  Write("<p>");
  WriteCheckbox("noexpiration", "1", user->GetValue(kNoExpiration)->GetInt() != 0);
  WriteLine(" Account does not expire. Ignored for non-mapped accounts.</p>");
  WriteLine(
      "<p><i>After date specified account will be disabled. Ignored for non-mapped "
      "accounts</i></p>");
  Write("<p>Expiration: ");
  WriteTextBox("Expire", user->GetValue(kExpireDate)->GetString());
  Write(" ");
  WriteExpirationHelp();
  WriteLine("</p>");
  Write("<p>");
  WriteCheckbox("disabled", "1", user->GetValue(kDisabled)->GetInt() != 0);
  WriteLine(" Account disabled.</p>");
  Write("<p>");
  WriteSubmit("Submit");
  WriteLine("</p>");
  WriteLine("</form>");
  return 1;
}

}  // namespace vard
