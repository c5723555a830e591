// The binding pages: each value of MAIN / SERVERS ties a site (host, and port unless 80) to the
// authority whose users may log on to it.

#include <string>
#include <string_view>

#include "admin/actions.h"
#include "cgi/html.h"
#include "cgi/page.h"
#include "cgi/save.h"
#include "schema/binding_key.h"
#include "schema/entry_rules.h"
#include "schema/names.h"
#include "schema/top_section.h"
#include "tree/text_format.h"
#include "userpages/user_markup.h"

namespace vard {

namespace {

// "<b>host:port</b>", the site as the messages name it.
void WriteBoldSite(std::string_view host, std::string_view port) {
  Write("<b>");
  WriteEscaped(host);
  Write(":");
  WriteEscaped(port);
  Write("</b>");
}

void WriteInvalidPort(std::string_view port) {
  Write("Invalid TCP port specified (<b>");
  WriteEscaped(port);
  Write("</b>). Please click back button of your browser and correct port value.");
}

// Refuses, with its message, a binding the configuration file could not store or the filter
// could never match.
bool RefuseBinding(std::string_view host, std::string_view port, std::string_view key,
                   std::string_view authority) {
  switch (CheckBinding(host, port, key, authority)) {
    case BindingVerdict::kAccepted:
      return false;
    case BindingVerdict::kBadPort:
      WriteInvalidPort(port);
      break;
    case BindingVerdict::kNoHost:
      Write("IP address or host name not specified !");
      break;
    case BindingVerdict::kBadHost:
      Write("Host name <b>");
      WriteEscaped(host);
      Write(
          "</b> can not be used - it may not hold blanks, &quot;=&quot;, &quot;[&quot;, "
          "&quot;]&quot;, &quot;|&quot; or control characters, nor be longer than 249 "
          "characters !");
      break;
    case BindingVerdict::kTooLong:
      Write("Binding for ");
      WriteBoldSite(host, port);
      Write(" can not be stored - host name and port may not be longer than ");
      WriteInt(kMaxEntryName);
      Write(" characters !");
      break;
    case BindingVerdict::kBadAuthority:
      Write("Authority name <b>");
      WriteEscaped(authority);
      Write("</b> can not be used - it may not hold line breaks and may not be longer than ");
      WriteInt(kMaxValueText);
      Write(" characters !");
      break;
  }
  return true;
}

}  // namespace

int BindAdd(TreeSection* root, FieldSet&, FieldSet&) {
  WriteLine("<p><b>Add server bindings</b></p>");
  WriteFormStart("BindAddDo");
  WriteLine("<p><b>Server identification</b></p>");
  WriteLine("<p><b>IP address or host name</b><input type=\"text\" name=\"Host\" size=\"20\"></p>");
  WriteLine(
      "<p><b>TCP port number</b><input type=\"text\" name=\"Port\" size=\"20\" "
      "value=\"80\"></p>");
  WriteLine("<p><b>Authority for this binding:</b><select size=\"1\" name=\"Authority\">");
  WriteSectionOptions(*root->GetSection(kAccounts));
  WriteLine("</select></p>");
  WriteLine("<p><input type=\"submit\" value=\"Submit\" name=\"B1\"></p>");
  WriteLine("</form>");
  return 1;
}

int BindAddDo(TreeSection* root, FieldSet& form, FieldSet&) {
  const std::string_view port = form.Get("Port").Text();
  const std::string_view host = form.Get("Host").Text();
  const std::string_view authority = form.Get("Authority").Text();
  const std::string key = BindingKeyFromForm(host, port);
  if (RefuseBinding(host, port, key, authority)) return 1;
  if (root->GetSection(kMain)->GetSection(kServers)->IndexOf(key) != 0) {
    Write("Binding for ");
    WriteBoldSite(host, port);
    Write(" already exist !");
    return 1;
  }
  TreeSection* const servers = OpenServersSection(root);
  if (servers->IsNull() || servers->AddString(key, authority) == nullptr) {
    Write("Internal error - can not add binding !");
    return 1;
  }
  if (!SaveConfiguration(root)) return 1;
  Write("Users connecting to ");
  WriteBoldSite(host, port);
  Write(" will be authenticated in authority: <b>");
  WriteEscaped(authority);
  Write("</b> .");
  return 1;
}

int BindDel(TreeSection* root, FieldSet&, FieldSet&) {
  WriteLine("<p><b>Delete server bindings</b></p>");
  WriteLine(
      "<i>Warning ! After deletion site answering at the deleted IP or DNS name will not be "
      "handled by filter. You can add new binding later</i>");
  WriteFormStart("BindDelDo");
  WriteLine("<p><b>Server bindings</b></p>");
  WriteLine("<p><select size=\"12\" name=\"Host\">");
  const TreeSection* const servers = root->GetSection(kMain)->GetSection(kServers);
  for (int i = 1; i <= servers->Count(); ++i) {
    const TreeValue* const binding = servers->GetValueAt(i);
    if (binding->IsNull()) continue;
    const std::string key = HtmlEscape(NameOf(binding));
    Write("<option value=\"");
    Write(key);
    Write("\">");
    Write(key);
    Write(" --> ");
    WriteEscaped(binding->GetString());
    WriteLine("</option>");
  }
  WriteLine("</select></p>");
  WriteLine("<p><input type=\"submit\" value=\"Delete\" name=\"B1\"></p>");
  WriteLine("</form>");
  return 1;
}

int BindDelDo(TreeSection* root, FieldSet& form, FieldSet&) {
  const std::string_view host = form.Get("Host").Text();
  root->GetSection(kMain)->GetSection(kServers)->Remove(host);
  if (!SaveConfiguration(root)) return 1;
  Write("Binding for <B>");
  WriteEscaped(host);
  Write("</B> deleted.");
  return 1;
}

}  // namespace vard
