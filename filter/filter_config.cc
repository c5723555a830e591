#include "filter/filter_config.h"

#include <sys/random.h>
#include <sys/types.h>

#include <limits>

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

// A key for the table's HashName, fresh from the kernel's random source for every form (0 when
// it has none to give). A site's administrator chooses the user names of the site's authority;
// with a hash known in advance, names chosen to share one run of table slots would make every
// lookup of the filter, for every site the server guards, walk the whole run.
uint64_t NewHashSeed() {
  uint64_t seed = 0;
  if (getrandom(&seed, sizeof seed, 0) != static_cast<ssize_t>(sizeof seed)) return 0;
  return seed;
}

// FNV-1a over the names as the tree compares them (ASCII capitals as small letters), keyed by
// `seed`, mixed with the scope and finished so that the low bits the table uses depend on every
// byte: names that differ only in a trailing digit ("user17", "user18") must not crowd into
// neighbouring slots.
uint64_t HashName(uint64_t seed, uint32_t scope, std::string_view name) {
  uint64_t h = (14695981039346656037ull ^ seed) ^ scope;
  for (const char c : name) {
    h = (h ^ static_cast<unsigned char>(FoldCase(c))) * 1099511628211ull;
  }
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  return h;
}

std::string_view NameOf(const NamedObject& object) {
  const char* name = object.GetName();
  return name ? std::string_view(name) : std::string_view();
}

}  // namespace

// Reads the tree in slot order, so that the first entry of a name in a scope is the lowest slot,
// which is the one the tree's lookups find.
class FilterConfig::Builder {
 public:
  explicit Builder(FilterConfig& config) : config_(config) { config_.hash_seed_ = NewHashSeed(); }

  bool ok() const { return ok_; }

  TextRef AddText(std::string_view text) {
    std::vector<char>& arena = config_.arena_;
    if (arena.size() + text.size() + 1 > std::numeric_limits<uint32_t>::max()) {
      ok_ = false;
      return {};
    }
    const TextRef ref{static_cast<uint32_t>(arena.size()), static_cast<uint32_t>(text.size())};
    arena.insert(arena.end(), text.begin(), text.end());
    arena.push_back('\0');
    return ref;
  }

  // Adds the child `name` of `scope` unless a lower slot has the name; returns the entry's index,
  // kNone when it was not added. The table is sized at the end, so entries are only collected.
  uint32_t AddEntry(uint32_t scope, std::string_view name, uint32_t record) {
    if (name.empty()) return kNone;
    config_.entries_.push_back(Entry{AddText(name), scope, record});
    return static_cast<uint32_t>(config_.entries_.size() - 1);
  }

  // Fills `scope` with the children of `section`: a child of kind `wanted` gets the record that
  // `add` makes of it, the other kind only takes its name, as the tree's typed lookups read it.
  template <typename AddRecord>
  void AddChildren(const TreeSection& section, uint32_t scope, bool want_values, AddRecord add) {
    for (int i = 1; i <= section.Count(); ++i) {
      const TreeValue* value = section.GetValueAt(i);
      const TreeSection* child = section.GetSectionAt(i);
      if (value->IsNull() && child->IsNull()) continue;  // a hole
      const NamedObject& node = value->IsNull() ? static_cast<const NamedObject&>(*child) : *value;
      const bool wanted = want_values ? !value->IsNull() : !child->IsNull();
      const uint32_t entry = AddEntry(scope, NameOf(node), kNone);
      if (entry != kNone && wanted) config_.entries_[entry].record = add(entry, *value, *child);
    }
  }

  // Builds the table; an entry whose name a lower slot of its scope holds stays out of it.
  void Index() {
    size_t size = 16;
    while (size < config_.entries_.size() * 2) size *= 2;
    config_.table_.assign(size, kNone);
    const size_t mask = size - 1;
    for (uint32_t e = 0; e < config_.entries_.size(); ++e) {
      const Entry& entry = config_.entries_[e];
      const std::string_view name = config_.Text(entry.name);
      for (size_t slot = HashName(config_.hash_seed_, entry.scope, name) & mask;;
           slot = (slot + 1) & mask) {
        const uint32_t held = config_.table_[slot];
        if (held == kNone) {
          config_.table_[slot] = e;
          break;
        }
        const Entry& other = config_.entries_[held];
        if (other.scope == entry.scope && NamesEqual(config_.Text(other.name), name)) break;
      }
    }
  }

 private:
  FilterConfig& config_;
  bool ok_ = true;
};

std::unique_ptr<const FilterConfig> FilterConfig::FromTree(const TreeSection& root) {
  std::unique_ptr<FilterConfig> config(new FilterConfig);
  Builder build(*config);
  const TreeSection& main = *root.GetSection(kMain);
  config->disabled_ = main.GetValue(kDisable)->GetInt() != 0;
  config->log_path_ = build.AddText(main.GetValue(kLog)->GetString()).offset;

  build.AddChildren(*main.GetSection(kServers), kBindingScope, true,
                    [&](uint32_t, const TreeValue& binding, const TreeSection&) {
                      config->bindings_.push_back(build.AddText(binding.GetString()));
                      return static_cast<uint32_t>(config->bindings_.size() - 1);
                    });
  build.AddChildren(
      *root.GetSection(kNtAccounts), kAccountScope, false,
      [&](uint32_t entry, const TreeValue&, const TreeSection& account) {
        config->accounts_.push_back({config->entries_[entry].name,
                                     build.AddText(account.GetValue(kPassword)->GetString())});
        return static_cast<uint32_t>(config->accounts_.size() - 1);
      });
  uint32_t next_scope = kFirstUserScope;
  build.AddChildren(
      *root.GetSection(kAccounts), kAuthorityScope, false,
      [&](uint32_t entry, const TreeValue&, const TreeSection& authority) {
        const uint32_t scope = next_scope++;
        config->authorities_.push_back({config->entries_[entry].name, scope,
                                        authority.GetValue(kExpirationRequired)->GetInt() != 0});
        build.AddChildren(authority, scope, false,
                          [&](uint32_t user_entry, const TreeValue&, const TreeSection& account) {
                            config->users_.push_back(ReadUser(build, user_entry, account));
                            return static_cast<uint32_t>(config->users_.size() - 1);
                          });
        return static_cast<uint32_t>(config->authorities_.size() - 1);
      });
  if (!build.ok()) return nullptr;
  build.Index();
  // Built by appending; a reload at a million users must not keep up to twice what it needs.
  config->arena_.shrink_to_fit();
  config->entries_.shrink_to_fit();
  config->bindings_.shrink_to_fit();
  config->authorities_.shrink_to_fit();
  config->users_.shrink_to_fit();
  config->accounts_.shrink_to_fit();
  return config;
}

FilterConfig::UserRecord FilterConfig::ReadUser(Builder& build, uint32_t entry,
                                                const TreeSection& account) {
  UserRecord user{};
  user.name = entry;
  const char* password = account.GetValue(kPassword)->GetString();
  user.password = build.AddText(password);
  const TreeValue* map_to = account.GetValue(kMapTo);
  user.map_to = build.AddText(map_to->GetString());
  uint8_t flags = 0;
  if (account.GetValue(kDisabled)->GetInt() != 0) flags |= kUserDisabled;
  if (account.GetValue(kDoNotMap)->GetInt() != 0) flags |= kUserDoNotMap;
  if (account.GetValue(kNoExpiration)->GetInt() != 0) flags |= kUserNoExpiration;
  if (!map_to->IsNull()) flags |= kUserHasMapTo;
  if (IsPasswordHash(password)) flags |= kUserPasswordIsHash;
  user.flags = flags;
  const char* expire_date = account.GetValue(kExpireDate)->GetString();
  int month = 0;
  int day = 0;
  int year = 0;
  if (*expire_date == '\0') {
    user.expire_form = ExpireForm::kNone;
  } else if (ReadExpireDate(expire_date, &month, &day, &year)) {
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
