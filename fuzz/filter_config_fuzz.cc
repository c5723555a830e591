// The filter's form of a configuration as a law: loaded from any text, it answers every lookup the
// decision makes (bindings, authorities, users, mapped accounts) exactly as the tree's lookups
// answer it, for every name the tree holds in any letter case, cut at a zero byte, and for names
// it does not hold. No file system: the stream reads a text.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "filter/filter_config.h"
#include "fuzz/fuzz_check.h"
#include "schema/expire_date.h"
#include "schema/names.h"
#include "schema/password_hash.h"
#include "tree/text_tree_stream.h"
#include "tree/tree_node.h"

namespace vard {
namespace {

// The names of the children of `section` in several spellings, and some it does not hold.
std::vector<std::string> Probes(const TreeSection& section) {
  std::vector<std::string> names = {"", "x", std::string("\0x", 2)};
  for (int i = 1; i <= section.Count(); ++i) {
    const NamedObject* child = section.At(i);
    if (child == nullptr || child->GetName() == nullptr) continue;
    std::string name = child->GetName();
    names.push_back(name);
    for (char& c : name) c = (c >= 'a' && c <= 'z') ? c - 32 : (c >= 'A' && c <= 'Z') ? c + 32 : c;
    names.push_back(name);
    names.push_back(name + std::string("\0tail", 5));
    names.push_back(name + "x");
  }
  return names;
}

void CheckUser(const TreeSection& account, const FilterConfig::User& user) {
  FUZZ_CHECK(user.name == account.GetName(), "user name as stored");
  const char* password = account.GetValue(kPassword)->GetString();
  FUZZ_CHECK(user.password == password, "password");
  FUZZ_CHECK(user.password_is_hash == IsPasswordHash(password), "hash flag");
  FUZZ_CHECK(user.disabled == (account.GetValue(kDisabled)->GetInt() != 0), "disabled");
  FUZZ_CHECK(user.do_not_map == (account.GetValue(kDoNotMap)->GetInt() != 0), "do not map");
  FUZZ_CHECK(user.no_expiration == (account.GetValue(kNoExpiration)->GetInt() != 0), "no expiry");
  FUZZ_CHECK(user.has_map_to == !account.GetValue(kMapTo)->IsNull(), "map to present");
  FUZZ_CHECK(user.map_to == account.GetValue(kMapTo)->GetString(), "map to");
  const char* date = account.GetValue(kExpireDate)->GetString();
  int month = 0, day = 0, year = 0;
  if (*date == '\0') {
    FUZZ_CHECK(user.expire_form == FilterConfig::ExpireForm::kNone, "no date");
  } else if (ReadExpireDate(date, &month, &day, &year)) {
    FUZZ_CHECK(user.expire_form == FilterConfig::ExpireForm::kDate && user.month == month &&
                   user.day == day && user.year == year,
               "date");
  } else {
    FUZZ_CHECK(user.expire_form == FilterConfig::ExpireForm::kUnreadable, "unreadable date");
  }
}

// Every lookup of the decision on `form` answers as on the tree `root`.
void CheckForm(const TreeSection& root, const FilterConfig& form);

}  // namespace
}  // namespace vard

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vard;
  const std::unique_ptr<TextTreeStream> stream =
      TextTreeStream::ReadingText(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!stream) return 0;
  TreeSection root("", true);
  root.Load(*stream);
  const std::unique_ptr<const FilterConfig> config = FilterConfig::FromTree(root);
  FUZZ_CHECK(config != nullptr, "form built");
  // The form read straight from the text must answer every lookup below as the tree does too.
  const std::unique_ptr<TextTreeStream> again =
      TextTreeStream::ReadingText(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!again) return 0;
  const std::unique_ptr<const FilterConfig> direct = FilterConfig::FromStream(*again);
  FUZZ_CHECK(direct != nullptr, "form read from the text");
  for (const FilterConfig* form : {config.get(), direct.get()}) CheckForm(root, *form);
  return 0;
}

namespace vard {
namespace {

void CheckForm(const TreeSection& root, const FilterConfig& form) {
  const FilterConfig* config = &form;

  const TreeSection& main = *root.GetSection(kMain);
  FUZZ_CHECK(config->disabled() == (main.GetValue(kDisable)->GetInt() != 0), "disable");
  FUZZ_CHECK(std::string_view(config->log_path()) == main.GetValue(kLog)->GetString(), "log");

  const TreeSection& servers = *main.GetSection(kServers);
  for (const std::string& key : Probes(servers)) {
    std::string_view authority;
    const TreeValue* binding = servers.GetValue(key);
    FUZZ_CHECK(config->FindBinding(key, &authority) == !binding->IsNull(), "binding found");
    FUZZ_CHECK(binding->IsNull() || authority == binding->GetString(), "binding authority");
  }
  const TreeSection& accounts = *root.GetSection(kNtAccounts);
  for (const std::string& name : Probes(accounts)) {
    FilterConfig::Account account;
    const TreeSection* section = accounts.GetSection(name);
    FUZZ_CHECK(config->FindAccount(name, &account) == !section->IsNull(), "account found");
    if (section->IsNull()) continue;
    FUZZ_CHECK(account.name == section->GetName(), "account name");
    FUZZ_CHECK(account.password == section->GetValue(kPassword)->GetString(), "account password");
  }
  const TreeSection& authorities = *root.GetSection(kAccounts);
  for (const std::string& name : Probes(authorities)) {
    FilterConfig::Authority authority;
    const TreeSection* section = authorities.GetSection(name);
    FUZZ_CHECK(config->FindAuthority(name, &authority) == !section->IsNull(), "authority found");
    if (section->IsNull()) continue;
    FUZZ_CHECK(authority.name == section->GetName(), "authority name");
    FUZZ_CHECK(
        authority.expiration_required == (section->GetValue(kExpirationRequired)->GetInt() != 0),
        "expiration required");
    for (const std::string& user_name : Probes(*section)) {
      FilterConfig::User user;
      const TreeSection* account = section->GetSection(user_name);
      FUZZ_CHECK(config->FindUser(authority, user_name, &user) == !account->IsNull(), "user found");
      if (!account->IsNull()) CheckUser(*account, user);
    }
  }
}

}  // namespace
}  // namespace vard
