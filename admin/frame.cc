#include "admin/frame.h"

#include "cgi/page.h"

#ifndef VARD_SHORT_VERSION
#error "VARD_SHORT_VERSION must be defined by the build"
#endif

namespace vard {
namespace {

struct MenuLink {
  const char* text;
  const char* action;
  // Set when the link goes through the authority chooser first.
  const char* post_action;
};

constexpr MenuLink kMenu[] = {
    {"Configuration file", "", nullptr},
    {"General options", "MainScreen", nullptr},
    {"Add NT account", "NTAccAdd", nullptr},
    {"Delete NT account", "NTAccDel", nullptr},
    {"Change NT account password", "NTAccPass", nullptr},
    {"Add new authority", "AuthAdd", nullptr},
    {"Delete authority", "AuthDel", nullptr},
    {"Edit authority", "AuthRen", nullptr},
    {"Add new binding to site", "BindAdd", nullptr},
    {"Delete binding to site", "BindDel", nullptr},
    {"List authority", "SelectAuthority", "ListAuthority"},
    {"Add new user", "SelectAuthority", "AddUser"},
    {"Delete user", "SelectAuthority", "DelUser"},
    {"Change user", "SelectAuthority", "ChangeUser"},
    {"View log", "ViewLog", nullptr},
};

}  // namespace

void WriteAdminFrameStart() {
  WritePageHead("Trevalo Vardomar (text) manager");
  WriteLine(
      "<table width=\"100%\" border=\"0\" bgcolor=\"#C0C0C0\" class=\"outset\" cellspacing=\"2\" "
      "cellpadding=\"2\">");
  WriteLine(
      "<tr><td colspan=\"2\" bgcolor=\"#000080\"><p><font color=\"#FFFFFF\"><b><i>Trevalo "
      "Vardomar version " VARD_SHORT_VERSION
      " - Administration CGI utility</i></b></font></p></td></tr>");
  WriteLine("<tr><td valign=\"top\" width=\"250\" bgcolor=\"#C0C0C0\" class=\"inset\">");
  WriteLine("<table border=\"0\" width=\"100%\">");
  WriteLine("<tr><td nowrap class=\"outset\"><b>Menu</b></td></tr>");
  for (const MenuLink& link : kMenu) {
    Write("<tr><td nowrap class=\"outset\"><a href=\"");
    if (link.post_action) {
      WriteActionUrl2(link.action, link.post_action);
    } else {
      WriteActionUrl(link.action);
    }
    Write("\">");
    Write(link.text);
    WriteLine("</a></td></tr>");
  }
  WriteLine("</table></td>");
  WriteLine("<td valign=\"top\" bgcolor=\"#C0C0C0\" class=\"inset\" width=\"100%\">");
}

void WriteAdminFrameEnd() {
  WriteLine("</td></tr>");
  WriteLine(
      "<tr><td colspan=\"2\" bgcolor=\"#C0C0C0\" align=\"center\" class=\"inset\"><i>Trevalo "
      "Vardomar " VARD_SHORT_VERSION " - text edition</i></td></tr>");
  WriteLine("</table>");
  WriteLine("</body>");
  WriteLine("</html>");
}

}  // namespace vard
