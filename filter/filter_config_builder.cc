#include "filter/filter_config_builder.h"

#include <sys/random.h>
#include <sys/types.h>

#include <limits>

#include "schema/expire_date.h"
#include "schema/password_hash.h"

namespace vard {
namespace {

// A key for the table's HashName, fresh from the kernel's random source for every form (0 when
// it has none to give). A site's administrator chooses the user names of the site's authority;
// with a hash known in advance, names chosen to share one run of table slots would make every
// lookup of the filter, for every site the server guards, walk the whole run.
uint64_t NewHashSeed() {
  uint64_t seed = 0;
  if (getrandom(&seed, sizeof seed, 0) != static_cast<ssize_t>(sizeof seed)) return 0;
  return seed;
}

constexpr size_t kFirstTableSize = 16;
constexpr uint64_t kFreeSlot = FilterConfig::Builder::kNone;

bool IsFree(uint64_t slot) { return static_cast<uint32_t>(slot) == FilterConfig::Builder::kNone; }

}  // namespace

FilterConfig::Builder::Builder(FilterConfig& config)
    : config_(config), slots_(kFirstTableSize, kFreeSlot) {
  config_.hash_seed_ = NewHashSeed();
  // Offset 0 holds "", which every empty text and an unset log path share.
  config_.arena_.assign(1, '\0');
}

FilterConfig::TextRef FilterConfig::Builder::AddText(std::string_view text) {
  if (text.empty()) return {};
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

uint32_t FilterConfig::Builder::OpenEntry(uint32_t scope, std::string_view name, bool* added) {
  *added = false;
  if (name.empty()) return kNone;
  const uint32_t hash = static_cast<uint32_t>(HashName(config_.hash_seed_, scope, name));
  size_t mask = slots_.size() - 1;
  size_t slot = hash & mask;
  for (; !IsFree(slots_[slot]); slot = (slot + 1) & mask) {
    if (slots_[slot] >> 32 != hash) continue;
    const uint32_t held = static_cast<uint32_t>(slots_[slot]);
    const Entry& entry = config_.entries_[held];
    if (entry.scope == scope && NamesEqual(config_.Text(entry.name), name)) return held;
  }
  // Every entry holds a name of at least one byte and its terminator in the arena, whose offsets
  // are 32-bit, so their count stays below kNone; AddText reports the arena full.
  const TextRef text = AddText(name);
  if (!ok_) return kNone;
  const uint32_t index = static_cast<uint32_t>(config_.entries_.size());
  config_.entries_.push_back(Entry{text, scope, kNone});
  if (config_.entries_.size() * 2 > slots_.size()) {
    Grow();
    mask = slots_.size() - 1;
    for (slot = hash & mask; !IsFree(slots_[slot]); slot = (slot + 1) & mask) {
    }
  }
  slots_[slot] = static_cast<uint64_t>(hash) << 32 | index;
  *added = true;
  return index;
}

void FilterConfig::Builder::Grow() {
  std::vector<uint64_t> slots(slots_.size() * 2, kFreeSlot);
  const size_t mask = slots.size() - 1;
  for (const uint64_t held : slots_) {
    if (IsFree(held)) continue;
    size_t slot = (held >> 32) & mask;
    while (!IsFree(slots[slot])) slot = (slot + 1) & mask;
    slots[slot] = held;
  }
  slots_.swap(slots);
}

uint32_t FilterConfig::Builder::AddBinding(uint32_t entry) {
  config_.bindings_.push_back({});
  return config_.entries_[entry].record = static_cast<uint32_t>(config_.bindings_.size() - 1);
}

uint32_t FilterConfig::Builder::AddAccount(uint32_t entry) {
  config_.accounts_.push_back({config_.entries_[entry].name, {}});
  return config_.entries_[entry].record = static_cast<uint32_t>(config_.accounts_.size() - 1);
}

uint32_t FilterConfig::Builder::AddAuthority(uint32_t entry) {
  config_.authorities_.push_back({config_.entries_[entry].name, next_scope_++, false});
  return config_.entries_[entry].record = static_cast<uint32_t>(config_.authorities_.size() - 1);
}

uint32_t FilterConfig::Builder::AddUser(uint32_t entry) {
  UserRecord user{};
  user.name = entry;
  user.expire_form = ExpireForm::kNone;
  config_.users_.push_back(user);
  return config_.entries_[entry].record = static_cast<uint32_t>(config_.users_.size() - 1);
}

void FilterConfig::Builder::SetPresent(Field field, uint32_t record) {
  if (field == Field::kMapTo) config_.users_[record].flags |= kUserHasMapTo;
}

void FilterConfig::Builder::SetText(Field field, uint32_t record, const char* text) {
  switch (field) {
    case Field::kLog:
      config_.log_path_ = AddText(text).offset;
      break;
    case Field::kBinding:
      config_.bindings_[record] = AddText(text);
      break;
    case Field::kAccountPassword:
      config_.accounts_[record].password = AddText(text);
      break;
    case Field::kPassword: {
      UserRecord& user = config_.users_[record];
      user.password = AddText(text);
      if (IsPasswordHash(text)) user.flags |= kUserPasswordIsHash;
      break;
    }
    case Field::kMapTo:
      config_.users_[record].map_to = AddText(text);
      break;
    case Field::kExpireDate: {
      UserRecord& user = config_.users_[record];
      int month = 0;
      int day = 0;
      int year = 0;
      if (*text == '\0') {
        user.expire_form = ExpireForm::kNone;
      } else if (ReadExpireDate(text, &month, &day, &year)) {
        user.expire_form = ExpireForm::kDate;
        user.month = month;
        user.day = day;
        user.year = year;
      } else {
        user.expire_form = ExpireForm::kUnreadable;
      }
      break;
    }
    default:
      break;
  }
}

void FilterConfig::Builder::SetNumber(Field field, uint32_t record, int32_t number) {
  if (number == 0) return;
  switch (field) {
    case Field::kDisable:
      config_.disabled_ = true;
      break;
    case Field::kExpirationRequired:
      config_.authorities_[record].expiration_required = true;
      break;
    case Field::kNoExpiration:
      config_.users_[record].flags |= kUserNoExpiration;
      break;
    case Field::kDisabled:
      config_.users_[record].flags |= kUserDisabled;
      break;
    case Field::kDoNotMap:
      config_.users_[record].flags |= kUserDoNotMap;
      break;
    default:
      break;
  }
}

bool FilterConfig::Builder::Finish() {
  if (!ok_) return false;
  config_.table_.resize(slots_.size());
  for (size_t i = 0; i < slots_.size(); ++i) config_.table_[i] = static_cast<uint32_t>(slots_[i]);
  std::vector<uint64_t>().swap(slots_);
  // Built by appending; a reload at a million users must not keep up to twice what it needs.
  config_.arena_.shrink_to_fit();
  config_.entries_.shrink_to_fit();
  config_.bindings_.shrink_to_fit();
  config_.authorities_.shrink_to_fit();
  config_.users_.shrink_to_fit();
  config_.accounts_.shrink_to_fit();
  return true;
}

}  // namespace vard
