#include "admin/location_pages.h"

#include <memory>
#include <string_view>

#include "cgi/html.h"
#include "cgi/page.h"
#include "cgi/save.h"
#include "schema/top_section.h"
#include "platform/settings_key.h"
#include "schema/names.h"
#include "schema/storable.h"
#include "tree/named_object.h"

namespace vard {
namespace {

void WriteTextInput(std::string_view name, int size, std::string_view value) {
  Write("<input type=\"text\" name=\"");
  Write(name);
  Write("\" size=\"");
  WriteInt(size);
  Write("\" value=\"");
  WriteEscaped(value);
  Write("\">");
}

void WriteLocationForm(std::string_view config_label, std::string_view config,
                       std::string_view backup_label, std::string_view backup) {
  WriteFormStart("Config");
  Write("<p>");
  Write(config_label);
  Write(" ");
  WriteTextInput("Config", 40, config);
  WriteLine("</p>");
  Write("<p>");
  Write(backup_label);
  Write(" ");
  WriteTextInput("Backup", 40, backup);
  WriteLine("</p>");
  WriteLine("<p><input type=\"submit\" value=\"Submit\" name=\"B1\"></p>");
  WriteLine("</form>");
}

std::string_view OrEmpty(const std::unique_ptr<char[]>& text) {
  return text ? std::string_view(text.get()) : std::string_view();
}

}  // namespace

void WriteLocationPage() {
  SettingsKey key(Hive::kLocalMachine, kRegistryKey);
  WriteLine(
      "This is main administration tool for Trevalo ISAPI authentication filter text "
      "version.<BR>");
  WriteLine("This version of Vardomar uses text file for its configuration and account database.");
  WriteLine("Location of the configuration file was specified in the Windows NT registry:<BR>");
  Write("\\HKEY_LOCAL_MACHINE\\");
  Write(kRegistryKey);
  WriteLine("<BR>");
  Write("string value: ");
  Write(kConfigFileValue);
  WriteLine("<BR>");
  WriteLine("Look in the product documentation for more information.");
  WriteLine("You can configure these parameters here:");
  std::unique_ptr<char[]> config, backup;
  if (key.IsOpen()) {
    config = key.ReadString(kConfigFileValue);
    backup = key.ReadString(kBackupDirValue);
  }
  WriteLocationForm("Configuration file:", OrEmpty(config),
                    "Backup directory (must exist):", OrEmpty(backup));
  key.Close();
}

int WriteLocationErrorPage(int code) {
  WriteLine("<HTML><BODY>");
  Write("Error: ");
  WriteInt(code);
  WriteLine("<BR>");
  WriteLine("Please specify at least configuration file (You can enter other parameters later):");
  WriteLocationForm("Configuration file (required !):", {},
                    "Backup directory (must exist if specified):", {});
  WriteLine("</BODY></HTML>");
  return code;
}

void StoreConfigLocation(FieldSet& form) {
  SettingsKey key(true, Hive::kLocalMachine, kRegistryKey);
  // A write that fails is reported like a key that cannot be opened: the administrator must
  // not be told the location was saved when it was not.
  const bool saved = key.IsOpen() && key.WriteString(kConfigFileValue, form.Get("Config").Text()) &&
                     key.WriteString(kBackupDirValue, form.Get("Backup").Text());
  key.Close();
  if (!saved) {
    WriteLine(" Can not save configuration ! (Registry problem)<BR>");
    return;
  }
  Write("Configuration saved. <a href=\"");
  WriteScriptName();
  WriteLine("\">Click here to continue ...</a>");
}

int MainScreen(TreeSection* root, FieldSet&, FieldSet&) {
  const TreeSection* main = root->GetSection(kMain);
  WriteLine("<p><b>General options:</b></p>");
  WriteFormStart("MainScreenDo");
  Write("<p><input type=\"checkbox\" name=\"Disable\" value=\"ON\"");
  if (main->GetValue(kDisable)->GetInt() != 0) Write(" checked");
  WriteLine(
      "><i>Disable filter (filter will pass authentication to the IIS while disabled)</i></p>");
  Write("<p>Log file: ");
  WriteTextInput("LogFile", 47, main->GetValue(kLog)->GetString());
  WriteLine("</p>");
  WriteLine("<p><input type=\"submit\" value=\"Submit\" name=\"B1\"></p>");
  WriteLine("</form>");
  return 1;
}

int MainScreenDo(TreeSection* root, FieldSet& form, FieldSet& query) {
  const std::string_view log = form.Get("LogFile").Text();
  if (!IsStorableValueText(log)) {
    WriteLine(
        "Log file path can not be stored - it holds a line break or is longer than 511 "
        "characters !<BR>");
    return MainScreen(root, form, query);
  }
  TreeSection* main = OpenTopSection(root, kMain);
  if (main->IsNull()) {
    Write("Section <b>");
    Write(kMain);
    WriteLine("</b> can not be created - a value of that name stands in its way !");
    return 1;
  }
  const int disable = NamesEqual(form.Get("Disable").Text(), "ON") ? 1 : 0;
  if (TreeValue* value = main->GetValue(kDisable); value->IsNull()) {
    main->AddInt(kDisable, disable);
  } else {
    value->SetInt(disable);
  }
  if (TreeValue* value = main->GetValue(kLog); value->IsNull()) {
    main->AddString(kLog, log);
  } else {
    value->SetString(log);
  }
  if (!SaveConfiguration(root)) return 1;
  return MainScreen(root, form, query);
}

}  // namespace vard
