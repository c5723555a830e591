#include "tools/password_commands.h"

#include "schema/entry_rules.h"
#include "schema/names.h"
#include "schema/password_hash.h"
#include "schema/storable.h"
#include "tree/named_object.h"

namespace vard {
namespace {

std::string Path(std::string_view authority, std::string_view user) {
  return std::string(authority) + "/" + std::string(user);
}

// Why the htpasswd entry `name`:`hash` cannot become a user of `authority`, or "".
std::string RefuseEntry(const TreeSection& authority, std::string_view name,
                        std::string_view hash) {
  switch (CheckUserName(authority, name)) {
    case NameVerdict::kAccepted:
      break;
    case NameVerdict::kReserved:
      return "the name is an option of the authority";
    case NameVerdict::kEmpty:
    case NameVerdict::kUnstorable:
      return "the name cannot be stored";
  }
  if (!authority.GetSection(name)->IsNull()) return "the user exists already and is kept";
  if (!IsPasswordHash(hash)) return "not a hash the filter recognises";
  if (!IsStorableValueText(hash)) return "the hash cannot be stored";
  return {};
}

}  // namespace

PasswordCommandResult HashAllPasswords(TreeSection* root) {
  PasswordCommandResult result;
  int hashed = 0;
  TreeSection* const accounts = root->GetSection(kAccounts);
  for (int i = 1; i <= accounts->Count(); ++i) {
    TreeSection* const authority = accounts->GetSectionAt(i);
    if (authority->IsNull()) continue;
    for (int j = 1; j <= authority->Count(); ++j) {
      TreeSection* const user = authority->GetSectionAt(j);
      if (user->IsNull()) continue;
      TreeValue* const password = user->GetValue(kPassword);
      const std::string_view clear = password->GetString();
      const std::string path = Path(authority->GetName(), user->GetName());
      if (IsPasswordHash(clear)) continue;
      if (clear.empty()) {
        result.out += path + ": no password, left alone\n";
        continue;
      }
      std::string hash;
      if (!HashPassword(clear, &hash)) {
        result.ok = false;
        result.error = path + ": the password could not be hashed - nothing was changed";
        return result;
      }
      password->SetString(hash);
      result.out += path + ": hashed\n";
      ++hashed;
    }
  }
  result.changed = hashed > 0;
  result.out += std::to_string(hashed) + " password(s) hashed\n";
  return result;
}

PasswordCommandResult ImportHtpasswd(TreeSection* root, std::string_view authority_name,
                                     std::string_view htpasswd, std::string_view map_to) {
  PasswordCommandResult result;
  TreeSection* const authority = root->GetSection(kAccounts)->GetSection(authority_name);
  if (authority->IsNull()) {
    result.ok = false;
    result.error = "authority '" + std::string(authority_name) + "' not found - nothing was added";
    return result;
  }
  if (!map_to.empty() && root->GetSection(kNtAccounts)->GetSection(map_to)->IsNull()) {
    result.ok = false;
    result.error = "NT account '" + std::string(map_to) + "' not found - nothing was added";
    return result;
  }
  int added = 0;
  int number = 0;
  while (!htpasswd.empty()) {
    ++number;
    const size_t end = htpasswd.find('\n');
    std::string_view line = htpasswd.substr(0, end);
    htpasswd.remove_prefix(end == std::string_view::npos ? htpasswd.size() : end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty() || line.starts_with('#')) continue;
    const size_t colon = line.find(':');
    const std::string_view name = line.substr(0, colon);
    const std::string_view hash =
        colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
    const std::string refusal = colon == std::string_view::npos
                                    ? std::string("no \"name:hash\" on the line")
                                    : RefuseEntry(*authority, name, hash);
    if (!refusal.empty()) {
      result.error += "line " + std::to_string(number) + ": " + refusal + "\n";
      continue;
    }
    // An htpasswd user has no expiration date.
    UserRecord record;
    record.password = hash;
    record.mapped = !map_to.empty();
    record.map_to = map_to;
    record.no_expiration = 1;
    WriteUserRecord(authority->OpenSection(name), record);
    result.out += Path(authority->GetName(), name) + ": added\n";
    ++added;
  }
  result.changed = added > 0;
  result.out += std::to_string(added) + " user(s) added\n";
  return result;
}

}  // namespace vard
