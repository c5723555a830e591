#include "filter/filter_config.h"

#include <type_traits>

#include "filter/filter_config_builder.h"
#include "schema/names.h"
#include "tree/named_object.h"

namespace vard {
namespace {

using Field = FilterConfig::Builder::Field;
using NamedField = FilterConfig::Builder::NamedField;

std::string_view NameOf(const NamedObject& object) {
  const char* name = object.GetName();
  return name ? std::string_view(name) : std::string_view();
}

// Reads the values `fields` of `section` into the record `record`, each from the lowest slot of
// its name, as a lookup by name finds it (a section there hides any later value of the name). One
// pass over the children: a lookup per field would compare every child with every field, and
// this runs for every user.
template <size_t N>
void ReadFields(FilterConfig::Builder& build, const TreeSection& section,
                const NamedField (&fields)[N], uint32_t record) {
  bool found[N] = {};
  size_t left = N;
  for (int i = 1; i <= section.Count() && left > 0; ++i) {
    const NamedObject* child = section.At(i);
    if (child == nullptr || child->GetName() == nullptr) continue;
    const std::string_view name(child->GetName());
    size_t f = 0;
    // Neither name holds a zero byte, so names of different lengths differ; the pages write the
    // schema's spelling, which a byte comparison settles before case is ignored.
    while (f < N && (found[f] || name.size() != fields[f].name.size() ||
                     (name != fields[f].name && !NamesEqual(name, fields[f].name)))) {
      ++f;
    }
    if (f == N) continue;
    found[f] = true;
    --left;
    if (child->kind() != NamedObject::Kind::kValue) continue;
    const TreeValue& value = static_cast<const TreeValue&>(*child);
    build.SetPresent(fields[f].field, record);
    if (FilterConfig::Builder::IsText(fields[f].field)) {
      build.SetText(fields[f].field, record, value.GetString());
    } else {
      build.SetNumber(fields[f].field, record, value.GetInt());
    }
  }
}

// Opens the children of `section` in `scope` in slot order. A child of the wanted kind `Node`,
// the first of its name, gets the record `add` makes of it; the other kind only takes its name,
// as the tree's typed lookups read it.
template <typename Node, typename AddRecord>
void AddChildren(FilterConfig::Builder& build, const TreeSection& section, uint32_t scope,
                 AddRecord add) {
  constexpr NamedObject::Kind kWanted =
      std::is_same_v<Node, TreeValue> ? NamedObject::Kind::kValue : NamedObject::Kind::kSection;
  for (int i = 1; i <= section.Count(); ++i) {
    const NamedObject* node = section.At(i);
    if (node == nullptr) continue;  // a hole
    const NamedObject::Kind kind = node->kind();
    if (kind != NamedObject::Kind::kValue && kind != NamedObject::Kind::kSection) continue;
    bool added = false;
    const uint32_t entry = build.OpenEntry(scope, NameOf(*node), &added);
    if (added && kind == kWanted) add(entry, static_cast<const Node&>(*node));
  }
}

}  // namespace

std::unique_ptr<const FilterConfig> FilterConfig::FromTree(const TreeSection& root) {
  std::unique_ptr<FilterConfig> config(new FilterConfig);
  Builder build(*config);
  const TreeSection& main = *root.GetSection(kMain);
  ReadFields(build, main, Builder::kMainFields, 0);
  AddChildren<TreeValue>(build, *main.GetSection(kServers), kBindingScope,
                         [&](uint32_t entry, const TreeValue& binding) {
                           build.SetText(Field::kBinding, build.AddBinding(entry),
                                         binding.GetString());
                         });
  AddChildren<TreeSection>(build, *root.GetSection(kNtAccounts), kAccountScope,
                           [&](uint32_t entry, const TreeSection& account) {
                             ReadFields(build, account, Builder::kAccountFields,
                                        build.AddAccount(entry));
                           });
  AddChildren<TreeSection>(build, *root.GetSection(kAccounts), kAuthorityScope,
                           [&](uint32_t entry, const TreeSection& section) {
                             const uint32_t authority = build.AddAuthority(entry);
                             ReadFields(build, section, Builder::kAuthorityFields, authority);
                             AddChildren<TreeSection>(
                                 build, section, build.ScopeOf(authority),
                                 [&](uint32_t user, const TreeSection& account) {
                                   ReadFields(build, account, Builder::kUserFields,
                                              build.AddUser(user));
                                 });
                           });
  if (!build.Finish()) return nullptr;
  return config;
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
