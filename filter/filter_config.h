// FilterConfig: what the filter decides with, read once from a configuration (a loaded tree, or
// straight from its text) into a compact immutable form: the general options, the bindings, the
// mapped accounts, the authorities and per user only the values of the decision. Texts live in one
// arena, records are fixed-size and one open-addressing table of 32-bit indices finds every name,
// so a configuration of a million users costs a handful of allocations and less memory than its
// file. Lookups answer exactly what the tree's lookups answer. Immutable once built: any number of
// threads read it.
#ifndef VARDOMAR_FILTER_FILTER_CONFIG_H_
#define VARDOMAR_FILTER_FILTER_CONFIG_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tree/tree_node.h"

namespace vard {

class TextTreeStream;

class FilterConfig {
 public:
  // How a user's expiration date reads: none (no text), a text that is no month/day/year date,
  // or the three numbers as typed (not checked against the calendar).
  enum class ExpireForm : uint8_t { kNone, kUnreadable, kDate };

  struct Authority {
    std::string_view name;  // as stored
    bool expiration_required;
    uint32_t scope;  // where its users are indexed
  };

  struct User {
    std::string_view name;      // as stored
    std::string_view password;  // the text of "Password": clear text or a hash; "" when none
    bool password_is_hash;
    bool disabled;
    bool do_not_map;
    bool no_expiration;
    bool has_map_to;          // whether a value "MapTo" exists, whatever it holds
    std::string_view map_to;  // its text; "" when it holds none
    ExpireForm expire_form;
    int month, day, year;  // kDate only
  };

  struct Account {
    std::string_view name;      // as stored
    std::string_view password;  // "" when none
  };

  // Reads `root` (a loaded configuration; only its const lookups are used). Null only when the
  // form cannot hold it (more than 4 GB of names and texts).
  static std::unique_ptr<const FilterConfig> FromTree(const TreeSection& root);
  // Reads the configuration straight from its text, as TreeSection::Load would read it into a
  // tree that FromTree then reads, without building the tree: the same form, for a small part of
  // the cost. Null when the form cannot hold it, or when a read failed (errno set; the stream's
  // InputError), as a tree missing the rest of its file fails to load.
  static std::unique_ptr<const FilterConfig> FromStream(TextTreeStream& stream);

  // MAIN's "Disable" is a nonzero int.
  bool disabled() const { return disabled_; }
  // MAIN's "log" text; "" when none. Zero-terminated, owned by the form.
  const char* log_path() const { return arena_.data() + log_path_; }

  // The binding of the site `key`: true with its authority's name in `authority` ("" when the
  // value holds no text); false when SERVERS has no value of that name.
  bool FindBinding(std::string_view key, std::string_view* authority) const;
  // The authority, user of `authority` and mapped account of that name (ignoring case, up to a
  // zero byte, the lowest slot first, as the tree looks names up). Null when missing, when the
  // name belongs to a value, or the name is empty.
  bool FindAuthority(std::string_view name, Authority* out) const;
  bool FindUser(const Authority& authority, std::string_view name, User* out) const;
  bool FindAccount(std::string_view name, Account* out) const;

  // How the form is put together (filter_config_builder.h), by both routes.
  class Builder;

  // The heap bytes the form holds (its capacity, for the memory benchmark).
  size_t HeapBytes() const;

 private:
  static constexpr uint32_t kNone = UINT32_MAX;
  // Scopes of the one name table; an authority's users take the scopes from kFirstUserScope.
  enum Scope : uint32_t {
    kBindingScope = 0,
    kAuthorityScope = 1,
    kAccountScope = 2,
    kFirstUserScope = 3
  };

  // A zero-terminated text in arena_.
  struct TextRef {
    uint32_t offset = 0;
    uint32_t size = 0;
  };
  // One named child of a scope; `record` indexes the scope's records, kNone when the name
  // belongs to the other kind (a section where a value is sought, or the reverse).
  struct Entry {
    TextRef name;
    uint32_t scope;
    uint32_t record;
  };
  struct AuthorityRecord {
    TextRef name;
    uint32_t scope;
    bool expiration_required;
  };
  struct UserRecord {
    uint32_t name;  // the entry holding the stored name
    TextRef password;
    TextRef map_to;
    int32_t month, day, year;
    uint8_t flags;  // UserFlag bits
    ExpireForm expire_form;
  };
  struct AccountRecord {
    TextRef name;
    TextRef password;
  };
  enum UserFlag : uint8_t {
    kUserDisabled = 1,
    kUserDoNotMap = 2,
    kUserNoExpiration = 4,
    kUserHasMapTo = 8,
    kUserPasswordIsHash = 16
  };

  FilterConfig() = default;
  std::string_view Text(TextRef ref) const { return {arena_.data() + ref.offset, ref.size}; }
  // The record of the lowest-slot entry named `name` in `scope`; kNone when there is none.
  uint32_t Find(uint32_t scope, std::string_view name) const;

  uint64_t hash_seed_ = 0;  // keys the table's hash; set by the Builder
  bool disabled_ = false;
  uint32_t log_path_ = 0;
  std::vector<char> arena_;
  std::vector<Entry> entries_;
  std::vector<uint32_t> table_;  // entry indices, kNone for a free slot; a power of two long
  std::vector<TextRef> bindings_;
  std::vector<AuthorityRecord> authorities_;
  std::vector<UserRecord> users_;
  std::vector<AccountRecord> accounts_;
};

}  // namespace vard

#endif  // VARDOMAR_FILTER_FILTER_CONFIG_H_
