// FilterConfig::Builder: how both routes to a FilterConfig (from a loaded tree, and straight from
// the configuration text) put its texts, names and table together. Private to the form's sources.
#ifndef VARDOMAR_FILTER_FILTER_CONFIG_BUILDER_H_
#define VARDOMAR_FILTER_FILTER_CONFIG_BUILDER_H_

#include <sys/random.h>
#include <sys/types.h>

#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "filter/filter_config.h"
#include "tree/named_object.h"

namespace vard {

// A key for the table's HashName, fresh from the kernel's random source for every form (0 when
// it has none to give). A site's administrator chooses the user names of the site's authority;
// with a hash known in advance, names chosen to share one run of table slots would make every
// lookup of the filter, for every site the server guards, walk the whole run.
inline uint64_t NewHashSeed() {
  uint64_t seed = 0;
  if (getrandom(&seed, sizeof seed, 0) != static_cast<ssize_t>(sizeof seed)) return 0;
  return seed;
}

// FNV-1a over the names as the tree compares them (ASCII capitals as small letters), keyed by
// `seed`, mixed with the scope and finished so that the low bits the table uses depend on every
// byte: names that differ only in a trailing digit ("user17", "user18") must not crowd into
// neighbouring slots.
inline uint64_t HashName(uint64_t seed, uint32_t scope, std::string_view name) {
  uint64_t h = (14695981039346656037ull ^ seed) ^ scope;
  for (const char c : name) {
    h = (h ^ static_cast<unsigned char>(FoldCase(c))) * 1099511628211ull;
  }
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  return h;
}

// Entries are added in slot order, so that the first entry of a name in a scope is the lowest
// slot, which is the one the tree's lookups find.
class FilterConfig::Builder {
 public:
  explicit Builder(FilterConfig& config) : config_(config) { config_.hash_seed_ = NewHashSeed(); }

  bool ok() const { return ok_; }
  FilterConfig& config() { return config_; }

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

  // Adds the child `name` of `scope`; returns the entry's index, kNone for an empty name. The
  // table is sized at the end, so entries are only collected.
  uint32_t AddEntry(uint32_t scope, std::string_view name, uint32_t record) {
    if (name.empty()) return kNone;
    config_.entries_.push_back(Entry{AddText(name), scope, record});
    return static_cast<uint32_t>(config_.entries_.size() - 1);
  }

  void SetRecord(uint32_t entry, uint32_t record) { config_.entries_[entry].record = record; }
  void SetMain(bool disabled, std::string_view log_path) {
    config_.disabled_ = disabled;
    config_.log_path_ = AddText(log_path).offset;
  }

  // Record makers shared by both routes; each returns the record's index.
  uint32_t AddBinding(std::string_view authority) {
    config_.bindings_.push_back(AddText(authority));
    return static_cast<uint32_t>(config_.bindings_.size() - 1);
  }
  uint32_t AddAccount(uint32_t entry, std::string_view password) {
    config_.accounts_.push_back({config_.entries_[entry].name, AddText(password)});
    return static_cast<uint32_t>(config_.accounts_.size() - 1);
  }
  uint32_t AddAuthority(uint32_t entry, uint32_t scope, bool expiration_required) {
    config_.authorities_.push_back({config_.entries_[entry].name, scope, expiration_required});
    return static_cast<uint32_t>(config_.authorities_.size() - 1);
  }
  uint32_t AddUser(uint32_t entry, const UserValues& values) {
    config_.users_.push_back(ReadUser(*this, entry, values));
    return static_cast<uint32_t>(config_.users_.size() - 1);
  }

  // Builds the table and gives back what appending reserved; false when the form cannot hold
  // the configuration. A reload at a million users must not keep up to twice what it needs.
  bool Finish() {
    if (!ok_) return false;
    Index();
    config_.arena_.shrink_to_fit();
    config_.entries_.shrink_to_fit();
    config_.bindings_.shrink_to_fit();
    config_.authorities_.shrink_to_fit();
    config_.users_.shrink_to_fit();
    config_.accounts_.shrink_to_fit();
    return true;
  }

 private:
  // An entry whose name a lower slot of its scope holds stays out of the table.
  void Index() {
    size_t size = 16;
    while (size < config_.entries_.size() * 2) size *= 2;
    config_.table_.assign(size, kNone);
    const size_t mask = size - 1;
    for (uint32_t e = 0; e < config_.entries_.size(); ++e) {
      const Entry& entry = config_.entries_[e];
      const std::string_view name = config_.Text(entry.name);
      for (size_t slot = HashName(config_.hash_seed_, entry.scope, name) & mask;; slot = (slot + 1) & mask) {
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

  FilterConfig& config_;
  bool ok_ = true;
};

}  // namespace vard

#endif  // VARDOMAR_FILTER_FILTER_CONFIG_BUILDER_H_
