// The authority pages: the user databases live as sections of ACCOUNTS, each with its
// expiration policy and one section per user; the chooser stands in front of every user page.

#include <string_view>

#include "admin/actions.h"
#include "admin/name_refusal.h"
#include "cgi/html.h"
#include "cgi/page.h"
#include "cgi/save.h"
#include "schema/top_section.h"
#include "schema/names.h"
#include "userpages/user_markup.h"

namespace vard {

namespace {

void WriteBoldName(std::string_view name) {
  Write("<b>");
  WriteEscaped(name);
  Write("</b>");
}

}  // namespace

int AuthAdd(TreeSection*, FieldSet&, FieldSet&) {
  WriteLine("<p><b>Add new Authority</b></p>");
  WriteFormStart("AuthAddDo");
  WriteLine(
      "<p>Authority name:<input type=\"text\" name=\"Authority\" size=\"20\">"
      "<input type=\"submit\" value=\"Submit\" name=\"B1\"></p>");
  WriteLine(
      "<input type=\"checkbox\" name=\"ExpirationRequired\" value=\"1\"> Require expiration "
      "date.<br>");
  WriteLine(
      "<i>If this check box is not checked users with empty expiration date will ne allowed "
      "to log on.<BR>");
  WriteLine(
      "\t If check bos is checked expiration date is required for all users in the "
      "authority except:<BR>");
  WriteLine("\t - Users not mapped to NT account <BR>");
  WriteLine("\t - Users with &quot;Account does not expire&quot; checked</i>");
  WriteLine("</form>");
  return 1;
}

int AuthAddDo(TreeSection* root, FieldSet& form, FieldSet&) {
  const std::string_view name = form.Get("Authority").Text();
  if (name.empty()) {
    Write("Authority name can not be empty !");
    return 1;
  }
  if (RefuseUnstorableSectionName("Authority name", name)) return 1;
  const TreeSection* const existing = root->GetSection(kAccounts);
  if (existing->IndexOf(name) != 0) {
    // A value of that name blocks the section as surely as an authority does: the name is taken.
    Write("Authority ");
    WriteBoldName(name);
    Write(" already exist !");
    return 1;
  }
  TreeSection* const accounts = OpenTopSection(root, kAccounts);
  TreeSection* const authority = accounts->IsNull() ? nullptr : accounts->OpenSection(name);
  if (authority == nullptr) {
    Write("Internal error - can not add section for new authority !");
    return 1;
  }
  authority->SetInt(kExpirationRequired, form.Get("ExpirationRequired").Int());
  if (!SaveConfiguration(root)) return 1;
  Write("Authority ");
  WriteBoldName(name);
  Write(" created.");
  return 1;
}

int AuthDel(TreeSection* root, FieldSet&, FieldSet&) {
  WriteLine("<p><b>Delete Authority</b></p>");
  WriteLine(
      "<i>Warning ! Bindings to this authority will not work - you can create new authority "
      "with the same name at later time to restore user resolution.</i>");
  WriteFormStart("AuthDelDo");
  WriteLine("<p>Authority to delete:<select size=\"12\" name=\"Authority\">");
  WriteSectionOptions(*root->GetSection(kAccounts));
  WriteLine("</select><input type=\"submit\" value=\"Submit\" name=\"B1\"></p>");
  WriteLine("</form>");
  return 1;
}

int AuthDelDo(TreeSection* root, FieldSet& form, FieldSet&) {
  const std::string_view name = form.Get("Authority").Text();
  root->GetSection(kAccounts)->Remove(name);
  if (!SaveConfiguration(root)) return 1;
  Write("Authority ");
  WriteBoldName(name);
  Write(" deleted. ");
  return 1;
}

int AuthRen(TreeSection* root, FieldSet&, FieldSet&) {
  WriteLine("<p><b>Rename (Edit) Authority</b></p>");
  WriteLine("<I>Warning ! Renaming authority may cause some bindings to not work.</I><BR>");
  WriteLine(
      "<I>If &quot;Expiration required&quot; check box is not checked users with empty "
      "expiration date will ne allowed to log on.<BR>");
  WriteLine(
      "If check bos is checked expiration date is required for all users in the authority "
      "except:<BR>");
  WriteLine("\t - Users not mapped to NT account <BR>");
  WriteLine("\t - Users with &quot;Account does not expire&quot; checked");
  WriteLine("</I>");
  WriteLine("<table border=\"0\" width=\"100%\" cellspacing=\"0\" cellpadding=\"0\">");
  WriteLine(
      "<tr><td class=\"outset\" width=\"33%\">Name: </td>"
      "<td class=\"outset\" width=\"33%\">Expiration policy</td>"
      "<td class=\"outset\" width=\"34%\">&nbsp;</td></tr>");
  const TreeSection* const accounts = root->GetSection(kAccounts);
  for (int i = 1; i <= accounts->Count(); ++i) {
    const TreeSection* const authority = accounts->GetSectionAt(i);
    if (authority->IsNull()) continue;
    const std::string name = HtmlEscape(NameOf(authority));
    const bool required = authority->GetValue(kExpirationRequired)->GetInt() != 0;
    WriteFormStart("AuthRenDo");
    Write(
        "<tr><td width=\"33%\" bgcolor=\"#E0E0E0\"><input type=\"hidden\" name=\"Authority\" "
        "value=\"");
    Write(name);
    Write("\"><input type=\"text\" name=\"NewName\" size=\"30\" value=\"");
    Write(name);
    WriteLine("\"></td>");
    Write(
        "<td width=\"33%\" bgcolor=\"#E0E0E0\"><input type=\"checkbox\" "
        "name=\"ExpirationRequired\" value=\"1\"");
    Write(required ? " checked>" : ">");
    WriteLine("Expiration required</td>");
    WriteLine(
        "<td width=\"34%\" bgcolor=\"#E0E0E0\"><input type=\"submit\" value=\"Change\" "
        "name=\"B1\"></td></tr>");
    WriteLine("</form>");
  }
  WriteLine("</table>");
  return 1;
}

int AuthRenDo(TreeSection* root, FieldSet& form, FieldSet&) {
  const std::string_view name = form.Get("Authority").Text();
  const std::string_view new_name = form.Get("NewName").Text();
  TreeSection* const accounts = root->GetSection(kAccounts);
  TreeSection* const authority = accounts->GetSection(name);
  if (authority->IsNull()) {
    Write("Authority ");
    WriteBoldName(name);
    Write(" not found !");
    return 1;
  }
  if (new_name.empty()) {
    Write("Authority ");
    WriteBoldName(name);
    Write(" not changed - name can not be empty !");
    return 1;
  }
  if (RefuseUnstorableSectionName("Authority name", new_name)) return 1;
  // Two children of one name would leave the second unreachable, and the next load would merge
  // its users into the first; a new spelling of the authority's own name is fine.
  const NamedObject* const holder = accounts->Find(new_name);
  if (holder != nullptr && holder != authority) {
    Write("Authority ");
    WriteBoldName(name);
    Write(" not changed - the name ");
    WriteBoldName(new_name);
    Write(" is already in use !");
    return 1;
  }
  authority->SetName(new_name);
  authority->SetInt(kExpirationRequired, form.Get("ExpirationRequired").Int());
  if (!SaveConfiguration(root)) return 1;
  Write("Authority ");
  WriteBoldName(name);
  Write(" changed successfuly !");
  return 1;
}

int SelectAuthority(TreeSection* root, FieldSet&, FieldSet& query) {
  WriteLine("<p><b>Select Authority</b></p>");
  WriteFormStart(query.Get("PostAction").Text());
  WriteLine("<p><select size=\"1\" name=\"Authority\">");
  WriteSectionOptions(*root->GetSection(kAccounts));
  WriteLine("</select><input type=\"submit\" value=\"Next &gt;&gt;\" name=\"B1\"></p>");
  WriteLine("</form>");
  return 1;
}

}  // namespace vard
