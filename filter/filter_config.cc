#include "filter/filter_config.h"

#include "filter/filter_config_builder.h"
#include "schema/expire_date.h"
#include "schema/names.h"
#include "schema/password_hash.h"
#include "tree/named_object.h"

namespace vard {
namespace {

constexpr uint8_t kUserDisabled = 1;
constexpr uint8_t kUserDoNotMap = 2;
constexpr uint8_t kUserNoExpiration = 4;
constexpr uint8_t kUserHasMapTo = 8;
constexpr uint8_t kUserPasswordIsHash = 16;

std::string_view NameOf(const NamedObject& object) {
  const char* name = object.GetName();
  return name ? std::string_view(name) : std::string_view();
}

}  // namespace

namespace {

// Fills `scope` with the children of `section` in slot order: a child of the wanted kind gets the
// record that `add` makes of it, the other kind only takes its name, as the tree's typed lookups
// read it.
template <typename AddRecord>
void AddChildren(FilterConfig::Builder& build, const TreeSection& section, uint32_t scope,
                 bool want_values, AddRecord add) {
  for (int i = 1; i <= section.Count(); ++i) {
    const TreeValue* value = section.GetValueAt(i);
    const TreeSection* child = section.GetSectionAt(i);
    if (value->IsNull() && child->IsNull()) continue;  // a hole
    const NamedObject& node = value->IsNull() ? static_cast<const NamedObject&>(*child) : *value;
    const bool wanted = want_values ? !value->IsNull() : !child->IsNull();
    const uint32_t entry = build.AddEntry(scope, NameOf(node), UINT32_MAX);
    if (entry != UINT32_MAX && wanted) build.SetRecord(entry, add(entry, *value, *child));
  }
}

FilterConfig::UserValues UserValuesOf(const TreeSection& account) {
  const TreeValue* map_to = account.GetValue(kMapTo);
  return {.password = account.GetValue(kPassword)->GetString(),
          .has_map_to = !map_to->IsNull(),
          .map_to = map_to->GetString(),
          .disabled = account.GetValue(kDisabled)->GetInt() != 0,
          .do_not_map = account.GetValue(kDoNotMap)->GetInt() != 0,
          .no_expiration = account.GetValue(kNoExpiration)->GetInt() != 0,
          .expire_date = account.GetValue(kExpireDate)->GetString()};
}

}  // namespace

std::unique_ptr<const FilterConfig> FilterConfig::FromTree(const TreeSection& root) {
  std::unique_ptr<FilterConfig> config(new FilterConfig);
  Builder build(*config);
  const TreeSection& main = *root.GetSection(kMain);
  build.SetMain(main.GetValue(kDisable)->GetInt() != 0, main.GetValue(kLog)->GetString());

  AddChildren(build, *main.GetSection(kServers), kBindingScope, true,
              [&](uint32_t, const TreeValue& binding, const TreeSection&) {
                return build.AddBinding(binding.GetString());
              });
  AddChildren(build, *root.GetSection(kNtAccounts), kAccountScope, false,
              [&](uint32_t entry, const TreeValue&, const TreeSection& account) {
                return build.AddAccount(entry, account.GetValue(kPassword)->GetString());
              });
  uint32_t next_scope = kFirstUserScope;
  AddChildren(build, *root.GetSection(kAccounts), kAuthorityScope, false,
              [&](uint32_t entry, const TreeValue&, const TreeSection& authority) {
                const uint32_t scope = next_scope++;
                AddChildren(build, authority, scope, false,
                            [&](uint32_t user, const TreeValue&, const TreeSection& account) {
                              return build.AddUser(user, UserValuesOf(account));
                            });
                return build.AddAuthority(entry, scope,
                                          authority.GetValue(kExpirationRequired)->GetInt() != 0);
              });
  if (!build.Finish()) return nullptr;
  return config;
}

FilterConfig::UserRecord FilterConfig::ReadUser(Builder& build, uint32_t entry,
                                                const UserValues& values) {
  UserRecord user{};
  user.name = entry;
  user.password = build.AddText(values.password);
  user.map_to = build.AddText(values.map_to);
  uint8_t flags = 0;
  if (values.disabled) flags |= kUserDisabled;
  if (values.do_not_map) flags |= kUserDoNotMap;
  if (values.no_expiration) flags |= kUserNoExpiration;
  if (values.has_map_to) flags |= kUserHasMapTo;
  if (IsPasswordHash(values.password)) flags |= kUserPasswordIsHash;
  user.flags = flags;
  int month = 0;
  int day = 0;
  int year = 0;
  if (*values.expire_date == '\0') {
    user.expire_form = ExpireForm::kNone;
  } else if (ReadExpireDate(values.expire_date, &month, &day, &year)) {
    user.expire_form = ExpireForm::kDate;
    user.month = month;
    user.day = day;
    user.year = year;
  } else {
    user.expire_form = ExpireForm::kUnreadable;
  }
  return user;
}

uint32_t FilterConfig::Find(uint32_t scope, std::string_view name) const {
  name = CutAtZero(name);
  if (name.empty()) return kNone;
  const size_t mask = table_.size() - 1;
  for (size_t slot = HashName(hash_seed_, scope, name) & mask;; slot = (slot + 1) & mask) {
    const uint32_t held = table_[slot];
    if (held == kNone) return kNone;
    const Entry& entry = entries_[held];
    if (entry.scope == scope && NamesEqual(Text(entry.name), name)) return entry.record;
  }
}

bool FilterConfig::FindBinding(std::string_view key, std::string_view* authority) const {
  const uint32_t record = Find(kBindingScope, key);
  if (record == kNone) return false;
  *authority = Text(bindings_[record]);
  return true;
}

bool FilterConfig::FindAuthority(std::string_view name, Authority* out) const {
  const uint32_t record = Find(kAuthorityScope, name);
  if (record == kNone) return false;
  const AuthorityRecord& authority = authorities_[record];
  *out = {Text(authority.name), authority.expiration_required, authority.scope};
  return true;
}

bool FilterConfig::FindUser(const Authority& authority, std::string_view name, User* out) const {
  const uint32_t record = Find(authority.scope, name);
  if (record == kNone) return false;
  const UserRecord& user = users_[record];
  *out = {.name = Text(entries_[user.name].name),
          .password = Text(user.password),
          .password_is_hash = (user.flags & kUserPasswordIsHash) != 0,
          .disabled = (user.flags & kUserDisabled) != 0,
          .do_not_map = (user.flags & kUserDoNotMap) != 0,
          .no_expiration = (user.flags & kUserNoExpiration) != 0,
          .has_map_to = (user.flags & kUserHasMapTo) != 0,
          .map_to = Text(user.map_to),
          .expire_form = user.expire_form,
          .month = user.month,
          .day = user.day,
          .year = user.year};
  return true;
}

bool FilterConfig::FindAccount(std::string_view name, Account* out) const {
  const uint32_t record = Find(kAccountScope, name);
  if (record == kNone) return false;
  const AccountRecord& account = accounts_[record];
  *out = {Text(account.name), Text(account.password)};
  return true;
}

size_t FilterConfig::HeapBytes() const {
  return arena_.capacity() + entries_.capacity() * sizeof(Entry) +
         table_.capacity() * sizeof(uint32_t) + bindings_.capacity() * sizeof(TextRef) +
         authorities_.capacity() * sizeof(AuthorityRecord) +
         users_.capacity() * sizeof(UserRecord) + accounts_.capacity() * sizeof(AccountRecord);
}

}  // namespace vard
