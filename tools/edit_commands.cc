#include "tools/edit_commands.h"

#include <cstdio>

#include "schema/binding_key.h"
#include "schema/entry_rules.h"
#include "schema/names.h"
#include "schema/password_hash.h"
#include "schema/storable.h"
#include "schema/top_section.h"

namespace vard {
namespace {

CommandResult Refused(std::string message) {
  CommandResult result;
  result.status = kExitRefused;
  result.error = std::move(message);
  return result;
}

CommandResult Done(std::string message) {
  CommandResult result;
  result.changed = true;
  result.out = std::move(message) + "\n";
  return result;
}

// The refusal of a name by the entry rules, or "" when accepted. `what` starts the message.
std::string NameRefusal(NameVerdict verdict, std::string_view what, std::string_view name,
                        std::string_view authority = {}) {
  switch (verdict) {
    case NameVerdict::kAccepted:
      return {};
    case NameVerdict::kEmpty:
      return std::string(what) + " name can not be empty";
    case NameVerdict::kUnstorable:
      return std::string(what) + " name " + Quoted(name) +
             " can not be used - a name may not hold ':', ';' or control characters, begin or "
             "end with a blank or be longer than 255 characters";
    case NameVerdict::kReserved:
      break;
  }
  return std::string(what) + " name " + Quoted(name) + " is reserved for an option of authority " +
         Quoted(authority);
}

// A password must be storable, and an empty one would let anyone who knows the name in.
std::string PasswordRefusal(std::string_view password) {
  if (password.empty()) return "the password can not be empty";
  if (!IsStorableValueText(password)) {
    return "the password can not be stored - it may not hold line breaks and may not be longer "
           "than 511 characters";
  }
  return {};
}

TreeSection* Accounts(TreeSection* root) { return root->GetSection(kNtAccounts); }
TreeSection* Authority(TreeSection* root, std::string_view name) {
  return root->GetSection(kAccounts)->GetSection(name);
}

CommandResult AccountAdd(TreeSection* root, const CommandInput& in) {
  const std::string& name = in.args[0];
  std::string refusal = NameRefusal(CheckSectionName(name), "account", name);
  if (refusal.empty()) refusal = PasswordRefusal(in.password);
  if (!refusal.empty()) return Refused(refusal);
  if (Accounts(root)->IndexOf(name) != 0) {
    return Refused("account " + Quoted(name) + " already exists");
  }
  TreeSection* const account = OpenTopSection(root, kNtAccounts)->OpenSection(name);
  if (account == nullptr) return Refused("NTACCOUNTS is not a section; see vardcfg check");
  account->AddString(kPassword, in.password);
  return Done("account " + Quoted(name) + " added");
}

CommandResult AccountPasswd(TreeSection* root, const CommandInput& in) {
  const std::string& name = in.args[0];
  TreeSection* const account = Accounts(root)->GetSection(name);
  if (account->IsNull()) return Refused("account " + Quoted(name) + " not found");
  const std::string refusal = PasswordRefusal(in.password);
  if (!refusal.empty()) return Refused(refusal);
  TreeValue* const stored = account->GetValue(kPassword);
  const bool set = stored->IsNull() ? account->AddString(kPassword, in.password) != nullptr
                                    : stored->SetString(in.password) != 0;
  if (!set) return Refused("the password of account " + Quoted(name) + " can not be stored");
  return Done("password of account " + Quoted(name) + " changed");
}

CommandResult AccountDel(TreeSection* root, const CommandInput& in) {
  const std::string& name = in.args[0];
  if (Accounts(root)->GetSection(name)->IsNull()) {
    return Refused("account " + Quoted(name) + " not found");
  }
  Accounts(root)->Remove(name);
  return Done("account " + Quoted(name) + " deleted");
}

CommandResult AuthorityAdd(TreeSection* root, const CommandInput& in) {
  const std::string& name = in.args[0];
  const std::string refusal = NameRefusal(CheckSectionName(name), "authority", name);
  if (!refusal.empty()) return Refused(refusal);
  if (root->GetSection(kAccounts)->IndexOf(name) != 0) {
    return Refused("authority " + Quoted(name) + " already exists");
  }
  TreeSection* const authority = OpenTopSection(root, kAccounts)->OpenSection(name);
  if (authority == nullptr) return Refused("ACCOUNTS is not a section; see vardcfg check");
  authority->SetInt(kExpirationRequired, in.Has("--expiration-required") ? 1 : 0);
  return Done("authority " + Quoted(name) + " created");
}

CommandResult AuthorityDel(TreeSection* root, const CommandInput& in) {
  const std::string& name = in.args[0];
  if (Authority(root, name)->IsNull()) return Refused("authority " + Quoted(name) + " not found");
  root->GetSection(kAccounts)->Remove(name);
  return Done("authority " + Quoted(name) + " deleted");
}

std::string BindingRefusal(BindingVerdict verdict, std::string_view host, std::string_view port,
                           std::string_view authority) {
  switch (verdict) {
    case BindingVerdict::kAccepted:
      return {};
    case BindingVerdict::kBadPort:
      return "invalid TCP port " + Quoted(port);
    case BindingVerdict::kNoHost:
      return "IP address or host name not specified";
    case BindingVerdict::kBadHost:
      return "host name " + Quoted(host) +
             " can not be used - it may not hold blanks, '=', '[', ']', '|' or control "
             "characters, nor be longer than 249 characters";
    case BindingVerdict::kTooLong:
      return "host name and port may not be longer than 255 characters together";
    case BindingVerdict::kBadAuthority:
      break;
  }
  return "authority " + Quoted(authority) + " not found";
}

CommandResult BindingAdd(TreeSection* root, const CommandInput& in) {
  const std::string &host = in.args[0], &port = in.args[1], &authority = in.args[2];
  const std::string key = BindingKeyFromForm(host, port);
  const std::string refusal =
      BindingRefusal(CheckBinding(host, port, key, authority), host, port, authority);
  if (!refusal.empty()) return Refused(refusal);
  // The pages offer only existing authorities; a binding to a missing one locks its site out.
  if (Authority(root, authority)->IsNull()) {
    return Refused("authority " + Quoted(authority) + " not found");
  }
  if (root->GetSection(kMain)->GetSection(kServers)->IndexOf(key) != 0) {
    return Refused("binding for " + Quoted(host + ":" + port) + " already exists");
  }
  TreeSection* const servers = OpenServersSection(root);
  if (servers->IsNull() || servers->AddString(key, authority) == nullptr) {
    return Refused("MAIN/SERVERS is not a section; see vardcfg check");
  }
  return Done("users connecting to " + Quoted(host + ":" + port) +
              " will be authenticated in authority " + Quoted(authority));
}

CommandResult BindingDel(TreeSection* root, const CommandInput& in) {
  const std::string key = BindingKeyFromForm(in.args[0], in.args[1]);
  TreeSection* const servers = root->GetSection(kMain)->GetSection(kServers);
  const std::string site = Quoted(in.args[0] + ":" + in.args[1]);
  if (servers->GetValue(key)->IsNull()) return Refused("no binding for " + site);
  servers->Remove(key);
  return Done("binding for " + site + " deleted");
}

// The user options applied to `record`; the strings keep the texts the record's views show.
struct UserEdit {
  std::string password, map_to, expire_date;
  UserRecord record;
};

// Applies the options of `in` on top of `edit` (a new user's defaults or the stored values) and
// returns the refusal, or "".
std::string ApplyUserOptions(TreeSection* root, const CommandInput& in, UserEdit* edit) {
  if (in.Has("--map-to") && in.Has("--no-map")) return "--map-to and --no-map exclude each other";
  if (in.Has("--expires") && in.Has("--no-expiry")) {
    return "--expires and --no-expiry exclude each other";
  }
  if (in.Has("--disabled") && in.Has("--enabled")) {
    return "--disabled and --enabled exclude each other";
  }
  UserRecord& r = edit->record;
  if (in.Has("--map-to")) {
    edit->map_to = in.options.find("--map-to")->second;
    if (Accounts(root)->GetSection(edit->map_to)->IsNull()) {
      return "account " + Quoted(edit->map_to) + " not found";
    }
    r.mapped = true;
  }
  if (in.Has("--no-map")) r.mapped = false;
  if (in.Has("--expires")) {
    edit->expire_date = in.options.find("--expires")->second;
    r.no_expiration = 0;
    const DateVerdict date = CheckExpireDate(edit->expire_date.c_str());
    if (date == DateVerdict::kUnreadable) {
      return "expiration date " + Quoted(edit->expire_date) + " can not be read - use M/D/YYYY";
    }
    if (date == DateVerdict::kYearTooLate) return "dates after year 2037 are not supported";
  }
  if (in.Has("--no-expiry")) {
    edit->expire_date.clear();
    r.no_expiration = 1;
  }
  if (in.Has("--disabled")) r.disabled = 1;
  if (in.Has("--enabled")) r.disabled = 0;
  if (!in.password.empty() || in.Has("--password")) {
    // Stored as clear text, it would be read as a hash that no password matches.
    if (IsPasswordHash(in.password)) {
      return "the password can not be stored as clear text - it begins like a password hash";
    }
    edit->password = in.password;
  }
  std::string refusal = PasswordRefusal(edit->password);
  if (!refusal.empty()) return refusal;
  r.password = edit->password;
  r.map_to = edit->map_to;
  r.expire_date = edit->expire_date;
  char which = 0;
  if (!RecordTextsStorable(r, &which)) {
    return std::string(which == 'm' ? "account name" : "expiration date") +
           " can not be stored - it may not hold line breaks and may not be longer than 511 "
           "characters";
  }
  return {};
}

CommandResult UserChange(TreeSection* root, const CommandInput& in, bool add) {
  const std::string &authority_name = in.args[0], &name = in.args[1];
  TreeSection* const authority = Authority(root, authority_name);
  if (authority->IsNull()) return Refused("authority " + Quoted(authority_name) + " not found");
  std::string refusal = NameRefusal(CheckUserName(*authority, name), "user", name, authority_name);
  if (!refusal.empty()) return Refused(refusal);
  const TreeSection* const existing = authority->GetSection(name);
  if (add && !existing->IsNull()) {
    return Refused("user " + Quoted(name) + " already exists in authority " +
                   Quoted(authority_name));
  }
  if (!add && existing->IsNull()) {
    return Refused("user " + Quoted(name) + " not found in authority " + Quoted(authority_name));
  }
  UserEdit edit;
  if (!add) {
    const UserRecord stored = ReadUserRecord(*existing);
    edit.record = stored;
    edit.password = std::string(stored.password);
    edit.map_to = std::string(stored.map_to);
    edit.expire_date = std::string(stored.expire_date);
  }
  refusal = ApplyUserOptions(root, in, &edit);
  if (!refusal.empty()) return Refused(refusal);
  // The new section takes the hole the old one leaves, so the user keeps its place.
  authority->Remove(name);
  WriteUserRecord(authority->OpenSection(name), edit.record);
  return Done("user " + Quoted(name) + (add ? " added to" : " changed in") + " authority " +
              Quoted(authority_name));
}

CommandResult UserAdd(TreeSection* root, const CommandInput& in) {
  return UserChange(root, in, true);
}
CommandResult UserSet(TreeSection* root, const CommandInput& in) {
  return UserChange(root, in, false);
}

CommandResult UserDel(TreeSection* root, const CommandInput& in) {
  const std::string &authority_name = in.args[0], &name = in.args[1];
  TreeSection* const authority = Authority(root, authority_name);
  if (authority->IsNull()) return Refused("authority " + Quoted(authority_name) + " not found");
  // Remove takes any child of that name: an option of the authority must not go as a user.
  if (IsReservedUserName(*authority, name) || authority->GetSection(name)->IsNull()) {
    return Refused("user " + Quoted(name) + " not found in authority " + Quoted(authority_name));
  }
  authority->Remove(name);
  return Done("user " + Quoted(name) + " deleted from authority " + Quoted(authority_name));
}

constexpr char kUserOptions[] = "--map-to= --no-map --expires= --no-expiry --disabled --enabled";
constexpr char kUserSetOptions[] =
    "--map-to= --no-map --expires= --no-expiry --disabled --enabled --password";

}  // namespace

std::string Quoted(std::string_view text) {
  std::string out = "'";
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", u);
      out += escaped;
    } else {
      out.push_back(c);
    }
  }
  out.push_back('\'');
  return out;
}

const std::vector<CommandForm>& AllCommands() {
  static const std::vector<CommandForm> commands = {
      {"account", "add", "NAME", 1, "", PasswordUse::kAlways, true, AccountAdd},
      {"account", "passwd", "NAME", 1, "", PasswordUse::kAlways, true, AccountPasswd},
      {"account", "del", "NAME", 1, "", PasswordUse::kNone, true, AccountDel},
      {"account", "list", "", 0, "", PasswordUse::kNone, false, ListAccounts},
      {"authority", "add", "NAME", 1, "--expiration-required", PasswordUse::kNone, true,
       AuthorityAdd},
      {"authority", "del", "NAME", 1, "", PasswordUse::kNone, true, AuthorityDel},
      {"authority", "list", "", 0, "", PasswordUse::kNone, false, ListAuthorities},
      {"binding", "add", "HOST PORT AUTHORITY", 3, "", PasswordUse::kNone, true, BindingAdd},
      {"binding", "del", "HOST PORT", 2, "", PasswordUse::kNone, true, BindingDel},
      {"binding", "list", "", 0, "", PasswordUse::kNone, false, ListBindings},
      {"user", "add", "AUTHORITY NAME", 2, kUserOptions, PasswordUse::kAlways, true, UserAdd},
      {"user", "set", "AUTHORITY NAME", 2, kUserSetOptions, PasswordUse::kWithOption, true,
       UserSet},
      {"user", "del", "AUTHORITY NAME", 2, "", PasswordUse::kNone, true, UserDel},
      {"user", "list", "AUTHORITY", 1, "", PasswordUse::kNone, false, ListUsers},
      {"user", "show", "AUTHORITY NAME", 2, "", PasswordUse::kNone, false, ShowUser},
  };
  return commands;
}

const CommandForm* FindCommand(std::string_view group, std::string_view verb) {
  for (const CommandForm& form : AllCommands()) {
    if (group == form.group && verb == form.verb) return &form;
  }
  return nullptr;
}

}  // namespace vard
