// The list and show commands of vardcfg: plain text for people, one entry a line with its
// fields separated by tabs, or JSON (--json) for programs. A password is never shown, only
// whether one is set.
#include <cstdio>
#include <string>

#include "schema/entry_rules.h"
#include "schema/names.h"
#include "tools/edit_commands.h"

namespace vard {
namespace {

std::string_view NameOf(const NamedObject* object) {
  const char* name = object->GetName();
  return name ? name : "";
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (u < 0x20 || u == 0x7f) {
      char escaped[7];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
      out += escaped;
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
  return out;
}

// One entry's fields, written either as a tab-separated line or as a JSON object.
class Entry {
 public:
  Entry& Text(const char* key, std::string_view value) {
    Add(key, JsonString(value), Plain(value));
    return *this;
  }
  Entry& Flag(const char* key, bool value) {
    Add(key, value ? "true" : "false", value ? key : std::string("-"));
    return *this;
  }
  std::string Render(bool json) const { return json ? "{" + json_ + "}" : plain_ + "\n"; }

 private:
  // Names may hold anything but line breaks; a terminal gets control bytes escaped.
  static std::string Plain(std::string_view value) {
    const std::string quoted = Quoted(value);
    return quoted.substr(1, quoted.size() - 2);
  }
  void Add(const char* key, const std::string& json, const std::string& plain) {
    if (!json_.empty()) {
      json_ += ",";
      plain_ += "\t";
    }
    json_ += JsonString(key) + ":" + json;
    plain_ += plain;
  }
  std::string json_, plain_;
};

CommandResult Render(const std::vector<Entry>& entries, bool json) {
  CommandResult result;
  // push_back rather than assigning a literal: GCC 12 at -O3 reports a false -Wrestrict there.
  if (json) result.out.push_back('[');
  for (size_t i = 0; i < entries.size(); ++i) {
    if (json && i > 0) result.out += ",";
    result.out += entries[i].Render(json);
  }
  if (json) result.out += "]\n";
  return result;
}

CommandResult NotFound(const std::string& what) {
  CommandResult result;
  result.status = kExitRefused;
  result.error = what + " not found";
  return result;
}

Entry UserEntry(const TreeSection& user) {
  const UserRecord r = ReadUserRecord(user);
  Entry entry;
  entry.Text("name", NameOf(&user))
      .Flag("password_set", !r.password.empty())
      .Text("map_to", r.mapped ? r.map_to : std::string_view())
      .Text("expires", r.expire_date)
      .Flag("no_expiry", r.no_expiration != 0)
      .Flag("disabled", r.disabled != 0);
  return entry;
}

}  // namespace

CommandResult ListAccounts(TreeSection* root, const CommandInput& in) {
  std::vector<Entry> entries;
  const TreeSection* const accounts = root->GetSection(kNtAccounts);
  for (int i = 1; i <= accounts->Count(); ++i) {
    const TreeSection* const account = accounts->GetSectionAt(i);
    if (account->IsNull()) continue;
    entries.push_back(std::move(Entry().Text("name", NameOf(account))));
  }
  return Render(entries, in.json);
}

CommandResult ListAuthorities(TreeSection* root, const CommandInput& in) {
  std::vector<Entry> entries;
  const TreeSection* const authorities = root->GetSection(kAccounts);
  for (int i = 1; i <= authorities->Count(); ++i) {
    const TreeSection* const authority = authorities->GetSectionAt(i);
    if (authority->IsNull()) continue;
    entries.push_back(std::move(
        Entry()
            .Text("name", NameOf(authority))
            .Flag("expiration_required", authority->GetValue(kExpirationRequired)->GetInt() != 0)));
  }
  return Render(entries, in.json);
}

CommandResult ListBindings(TreeSection* root, const CommandInput& in) {
  std::vector<Entry> entries;
  const TreeSection* const servers = root->GetSection(kMain)->GetSection(kServers);
  for (int i = 1; i <= servers->Count(); ++i) {
    const TreeValue* const binding = servers->GetValueAt(i);
    if (binding->IsNull()) continue;
    const std::string_view key = NameOf(binding);
    const size_t bar = key.rfind('|');
    entries.push_back(
        std::move(Entry()
                      .Text("host", bar == std::string_view::npos ? key : key.substr(0, bar))
                      .Text("port", bar == std::string_view::npos ? "80" : key.substr(bar + 1))
                      .Text("authority", binding->GetString())));
  }
  return Render(entries, in.json);
}

CommandResult ListUsers(TreeSection* root, const CommandInput& in) {
  const TreeSection* const authority = root->GetSection(kAccounts)->GetSection(in.args[0]);
  if (authority->IsNull()) return NotFound("authority " + Quoted(in.args[0]));
  std::vector<Entry> entries;
  for (int i = 1; i <= authority->Count(); ++i) {
    const TreeSection* const user = authority->GetSectionAt(i);
    if (!user->IsNull()) entries.push_back(UserEntry(*user));
  }
  return Render(entries, in.json);
}

CommandResult ShowUser(TreeSection* root, const CommandInput& in) {
  const TreeSection* const authority = root->GetSection(kAccounts)->GetSection(in.args[0]);
  if (authority->IsNull()) return NotFound("authority " + Quoted(in.args[0]));
  const TreeSection* const user = authority->GetSection(in.args[1]);
  if (user->IsNull()) return NotFound("user " + Quoted(in.args[1]));
  CommandResult result;
  result.out = UserEntry(*user).Render(in.json);
  if (in.json) result.out += "\n";
  return result;
}

}  // namespace vard
