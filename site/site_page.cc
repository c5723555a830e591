#include "site/site_page.h"

#include <cstdlib>
#include <memory>
#include <string_view>

#include "cgi/action.h"
#include "cgi/config_location.h"
#include "cgi/html.h"
#include "cgi/page.h"
#include "cgi/request_guard.h"
#include "platform/config_lock.h"
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

int Dispatch(TreeSection* root, FieldSet& form, FieldSet& query) {
  const std::string_view action = query.Get("Action").Text();
  if (action.empty()) return SiteUserList(root, form, query);
  const ActionHandler handler = FindAction(kSiteActions, kSiteActionCount, action);
  return handler != nullptr ? handler(root, form, query) : 0;
}

}  // namespace

int SitePageMain(int, char**, char**, FieldSet& form, FieldSet& query, FieldSet&) {
  const std::string_view action = query.Get("Action").Text();
  if (!GuardRequest(action)) return 0;
  WriteHeader("text/html");
  std::unique_ptr<char[]> path;
  if (const int error = ReadConfigLocation(&path)) return WriteErrorPage(error);
  // Held until the page is complete, so an operation's load, change and save are one step.
  const ConfigLock lock(path.get(), LockModeForAction(action));
  TreeSection root(path.get(), true);
  if (root.LoadFile() == 0) return WriteErrorPage(kConfigNotLoaded);

  WritePageHead("Trevalo Vardomar (text) manager - WEB site edition");
  WriteFrameStart();
  if (FindSiteAuthority(&root)->IsNull()) {
    WriteNoAuthority();
  } else {
    Dispatch(&root, form, query);
  }
  WriteFrameEnd();
  return 0;
}

}  // namespace vard
