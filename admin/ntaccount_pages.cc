// The Windows account pages: the accounts that authenticated users are mapped to live as
// sections of NTACCOUNTS, each holding its password in clear text.

#include <string_view>

#include "admin/actions.h"
#include "admin/name_refusal.h"
#include "cgi/html.h"
#include "cgi/page.h"
#include "cgi/save.h"
#include "schema/top_section.h"
#include "schema/names.h"
#include "schema/storable.h"
#include "userpages/user_markup.h"

namespace vard {

namespace {

// The lower-case spelling under which a password added by the change page is stored; readers
// find it whatever its case.
constexpr std::string_view kAddedPasswordName = "password";

void WriteSubmitParagraph() {
  WriteLine("<p><input type=\"submit\" value=\"Submit\" name=\"B1\"></p>");
}

// Refuses a password that the configuration file could not store as a value text.
bool RefuseUnstorablePassword(std::string_view password) {
  if (IsStorableValueText(password)) return false;
  Write("Password can not be used - it may not hold line breaks and may not be longer than ");
  WriteInt(kMaxValueText);
  Write(" characters !");
  return true;
}

}  // namespace

int NTAccAdd(TreeSection*, FieldSet&, FieldSet&) {
  WriteLine("<p><b>Add NT Account</b></p>");
  WriteLine(
      "Every successfuly authenticated user will be mapped to one of these accounts. This "
      "account will be used when system ");
  WriteLine("checks file system access rights of the authenticated users.");
  WriteFormStart("NTAccAddDo");
  WriteLine("<p>Username:<input type=\"text\" name=\"User\" size=\"20\"></p>");
  WriteLine("<p>Password:<input type=\"password\" name=\"Pass\" size=\"20\"></p>");
  WriteLine("<p>Password (Confirm):<input type=\"password\" name=\"Pass2\" size=\"20\"></p>");
  WriteSubmitParagraph();
  WriteLine("</form>");
  return 1;
}

int NTAccAddDo(TreeSection* root, FieldSet& form, FieldSet&) {
  const std::string_view user = form.Get("User").Text();
  const std::string_view password = form.Get("Pass").Text();
  if (user.empty()) {
    Write("User name not specified !");
    return 1;
  }
  if (RefuseUnstorableSectionName("User name", user)) return 1;
  if (password != form.Get("Pass2").Text()) {
    Write("Password entries do not match !");
    return 1;
  }
  if (RefuseUnstorablePassword(password)) return 1;
  if (!root->GetSection(kNtAccounts)->GetSection(user)->IsNull()) {
    Write("Account allready exist !");
    return 1;
  }
  TreeSection* const accounts = OpenTopSection(root, kNtAccounts);
  TreeSection* const account = accounts->IsNull() ? nullptr : accounts->OpenSection(user);
  if (account == nullptr) {
    Write("Internal error - can not add section for new NT account !");
    return 1;
  }
  account->AddString(kPassword, password);
  if (!SaveConfiguration(root)) return 1;
  Write("NT Account <b>");
  WriteEscaped(user);
  Write("</b> added successfuly. ");
  return 1;
}

int NTAccDel(TreeSection* root, FieldSet&, FieldSet&) {
  WriteLine("<p><b>Delete NT Account</b></p>");
  WriteLine(
      "<i>Warning ! All users mapped to this account will not be able to log on unless you "
      "change mapping ");
  WriteLine("for each of them</i>");
  WriteFormStart("NTAccDelDo");
  WriteLine("<p>Username:<select size=\"1\" name=\"NTAccount\">");
  WriteSectionOptions(*root->GetSection(kNtAccounts));
  WriteLine("</select><input type=\"submit\" value=\"Submit\" name=\"B1\"></p>");
  WriteLine("</form>");
  return 1;
}

int NTAccDelDo(TreeSection* root, FieldSet& form, FieldSet&) {
  root->GetSection(kNtAccounts)->Remove(form.Get("NTAccount").Text());
  if (!SaveConfiguration(root)) return 1;
  Write("Account deleted.");
  return 1;
}

int NTAccPass(TreeSection* root, FieldSet&, FieldSet&) {
  WriteLine("<p><b>Change NT Account password</b></p>");
  WriteFormStart("NTAccPassDo");
  WriteLine("<p>Username: <select size=\"1\" name=\"User\">");
  WriteSectionOptions(*root->GetSection(kNtAccounts));
  WriteLine("</select></p>");
  WriteLine("<p>Password:<input type=\"password\" name=\"Pass\" size=\"20\"></p>");
  WriteLine("<p>Password:<input type=\"password\" name=\"Pass2\" size=\"20\"></p>");
  WriteSubmitParagraph();
  WriteLine("</form>");
  return 1;
}

int NTAccPassDo(TreeSection* root, FieldSet& form, FieldSet&) {
  const std::string_view user = form.Get("User").Text();
  const std::string_view password = form.Get("Pass").Text();
  TreeSection* const account = root->GetSection(kNtAccounts)->GetSection(user);
  if (account->IsNull()) {
    Write("User name not found !<BR>");
    return 1;
  }
  if (password != form.Get("Pass2").Text()) {
    Write("Password entries do not match !");
    return 1;
  }
  if (RefuseUnstorablePassword(password)) return 1;
  TreeValue* const stored = account->GetValue(kPassword);
  const bool set = stored->IsNull() ? account->AddString(kAddedPasswordName, password) != nullptr
                                    : stored->SetString(password) != 0;
  if (!set) {
    // A section named like the password value stands in the account.
    Write("Internal error - can not store the password of NT account <b>");
    WriteEscaped(user);
    Write("</b> !");
    return 1;
  }
  if (!SaveConfiguration(root)) return 1;
  Write("Password of NT Account <b>");
  WriteEscaped(user);
  Write("</b> changed successfuly. ");
  return 1;
}

}  // namespace vard
