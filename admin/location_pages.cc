#include "admin/location_pages.h"

#include <sys/stat.h>

#include <memory>
#include <string>
#include <string_view>

#include "cgi/html.h"
#include "cgi/page.h"
#include "cgi/save.h"
#include "platform/env.h"
#include "schema/top_section.h"
#include "platform/settings_key.h"
#include "schema/names.h"
#include "schema/storable.h"
#include "tree/named_object.h"
#include "tree/text_tree_stream.h"

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

// Why `path` cannot be the configuration's location, or null when it can. Every program then
// loads and replaces the file found there, so it must be a file of this format: a path that
// names another file the web server's user may write (a password list, a log) would be
// overwritten by the first change. An empty file is a new configuration.
const char* LocationRefusal(std::string_view path) {
  if (path.empty() || path.front() != '/') return "it is not a full path (beginning with /)";
  const std::string name(path);
  struct stat status;
  if (Env::Default()->Stat(name.c_str(), &status) != 0) {
    return "it does not exist (create it first; an empty file will do)";
  }
  if (!S_ISREG(status.st_mode)) return "it is not a regular file";
  if (status.st_size == 0) return nullptr;
  TextTreeStream stream(name, false);
  if (!stream.IsOpen()) return "it can not be read";
  while (stream.ReadLine()) {
    const int code = stream.ParseLine();
    if (code != kLineNothing && code != kLineOther) return nullptr;
  }
  return "not one line of it reads as a configuration line";
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
  const std::string_view config = form.Get("Config").Text();
  if (const char* refusal = LocationRefusal(config)) {
    Write("Configuration file <b>");
    WriteEscaped(config);
    Write("</b> can not be used - ");
    Write(refusal);
    WriteLine(" ! Nothing was stored.<BR>");
    WriteLocationForm("Configuration file:", config,
                      "Backup directory (must exist):", form.Get("Backup").Text());
    return;
  }
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
    Write("Log file path can not be stored - it holds a line break or is longer than ");
    WriteInt(kMaxValueText);
    WriteLine(" characters !<BR>");
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
