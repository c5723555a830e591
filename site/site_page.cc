#include "site/site_page.h"

#include <cstdlib>
#include <string_view>

#include "cgi/action.h"
#include "cgi/html.h"
#include "cgi/page.h"
#include "cgi/program.h"
#include "site/find_site_authority.h"
#include "site/site_actions.h"

#ifndef VARD_SHORT_VERSION
#error "VARD_SHORT_VERSION must be defined by the build"
#endif

namespace vard {
namespace {

int WriteErrorPage(int code) {
  WriteLine("<HTML><BODY>");
  Write("Error: ");
  WriteInt(code);
  WriteLine("<BR>");
  return code;
}

std::string_view EnvText(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string_view(value) : std::string_view();
}

void WriteMenuLink(std::string_view action, std::string_view text) {
  Write("<a href=\"");
  WriteActionUrl(action);
  Write("\">");
  Write(text);
  WriteLine("</a><br>");
}

void WriteFrameStart() {
  WriteLine(
      "<table width=\"100%\" border=\"0\" bgcolor=\"#C0C0C0\" class=\"outset\" cellspacing=\"2\">");
  WriteLine(
      "<tr><td bgcolor=\"#000080\"><p><font color=\"#FFFFFF\"><b><i>Trevalo Vardomar "
      "version " VARD_SHORT_VERSION " - authority manager</i></b></font></p></td></tr>");
  WriteLine("</table>");
  WriteLine(
      "<table width=\"100%\" border=\"0\" bgcolor=\"#C0C0C0\" class=\"outset\" cellspacing=\"2\" "
      "cellpadding=\"4\">");
  WriteLine("<tr><td valign=\"top\" width=\"250\" bgcolor=\"#C0C0C0\" class=\"inset\">Menu<br>");
  WriteMenuLink("", "User list");
  WriteMenuLink("AddUser", "Add new user");
  WriteMenuLink("DelUser", "Delete user");
  WriteMenuLink("ChangeUser", "Change user");
  WriteLine("</td>");
  WriteLine("<td valign=\"top\" bgcolor=\"#C0C0C0\" class=\"inset\">");
}

void WriteFrameEnd() {
  WriteLine("</td></tr>");
  WriteLine("</table>");
  WriteLine(
      "<table width=\"100%\" border=\"0\" bgcolor=\"#C0C0C0\" class=\"outset\" cellspacing=\"2\">");
  WriteLine(
      "<tr><td align=\"center\" bgcolor=\"#C0C0C0\" class=\"inset\"><i>Trevalo "
      "Vardomar " VARD_SHORT_VERSION " - the users of this site</i></td></tr>");
  WriteLine("</table>");
  WriteLine("</body>");
  WriteLine("</html>");
}

void WriteNoAuthority() {
  Write("<h3>No authority was defined for site answering on ");
  WriteEscaped(EnvText("SERVER_NAME"));
  Write(":");
  WriteEscaped(EnvText("SERVER_PORT"));
  WriteLine("</h3>");
  WriteLine("For more information contact your system administrator.");
}

int DispatchAction(TreeSection* root, FieldSet& form, FieldSet& query) {
  const std::string_view action = query.Get("Action").Text();
  if (action.empty()) return SiteUserList(root, form, query);
  const ActionHandler handler = FindAction(kSiteActions, kSiteActionCount, action);
  return handler != nullptr ? handler(root, form, query) : 0;
}

void WriteHeadAndFrameStart() {
  WritePageHead("Trevalo Vardomar (text) manager - WEB site edition");
  WriteFrameStart();
}

// A site whose name and port no binding names gets a notice in place of any page.
void Dispatch(TreeSection* root, FieldSet& form, FieldSet& query) {
  if (FindSiteAuthority(root)->IsNull()) {
    WriteNoAuthority();
  } else {
    DispatchAction(root, form, query);
  }
}

constexpr CgiProgram kSiteProgram = {nullptr, WriteErrorPage, WriteHeadAndFrameStart, WriteFrameEnd,
                                     Dispatch};

}  // namespace

int SitePageMain(int, char**, char**, FieldSet& form, FieldSet& query, FieldSet&) {
  return RunCgiProgram(kSiteProgram, form, query);
}

}  // namespace vard
