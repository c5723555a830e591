// FilterConfig::Builder: how both routes to a FilterConfig (from a loaded tree, and straight from
// the configuration text) put its texts, names, records and table together, and which values of
// which sections the form reads. Private to the form's sources; one thread per builder, which
// fills one form and must outlive nothing but that.
#ifndef VARDOMAR_FILTER_FILTER_CONFIG_BUILDER_H_
#define VARDOMAR_FILTER_FILTER_CONFIG_BUILDER_H_

#include <cstdint>
#include <string_view>
#include <vector>

#include "filter/filter_config.h"
#include "schema/names.h"
#include "tree/named_object.h"

namespace vard {

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

class FilterConfig::Builder {
 public:
  static constexpr uint32_t kNone = FilterConfig::kNone;
  static constexpr uint32_t kBindingScope = FilterConfig::kBindingScope;
  static constexpr uint32_t kAuthorityScope = FilterConfig::kAuthorityScope;
  static constexpr uint32_t kAccountScope = FilterConfig::kAccountScope;

  // The values the form reads. A binding is a value of SERVERS itself; the others are read by
  // name, as the Fields lists below name them, in MAIN, a mapped account, an authority or a user.
  enum class Field : uint8_t {
    kDisable,
    kLog,
    kBinding,
    kAccountPassword,
    kExpirationRequired,
    kPassword,
    kMapTo,
    kExpireDate,
    kNoExpiration,
    kDisabled,
    kDoNotMap
  };
  // Whether the form reads the first text of a value of `field`; else it reads its first int.
  static constexpr bool IsText(Field field) {
    return field == Field::kLog || field == Field::kBinding || field == Field::kAccountPassword ||
           field == Field::kPassword || field == Field::kMapTo || field == Field::kExpireDate;
  }
  struct NamedField {
    std::string_view name;
    Field field;
  };
  static constexpr NamedField kMainFields[] = {{kDisable, Field::kDisable}, {kLog, Field::kLog}};
  static constexpr NamedField kAccountFields[] = {{kPassword, Field::kAccountPassword}};
  static constexpr NamedField kAuthorityFields[] = {
      {kExpirationRequired, Field::kExpirationRequired}};
  static constexpr NamedField kUserFields[] = {
      {kPassword, Field::kPassword},     {kMapTo, Field::kMapTo},
      {kExpireDate, Field::kExpireDate}, {kNoExpiration, Field::kNoExpiration},
      {kDisabled, Field::kDisabled},     {kDoNotMap, Field::kDoNotMap}};

  // Starts `config` afresh with a new key for its table's hash.
  explicit Builder(FilterConfig& config);

  // The entry of `name` in `scope`: the one the scope holds (*added false), or else a new one
  // without a record (*added true). kNone for an empty name. Children are opened in slot order,
  // so the entry a name keeps is its lowest slot, which is the one the tree's lookups find.
  uint32_t OpenEntry(uint32_t scope, std::string_view name, bool* added);
  // The record of `entry`; kNone when the name belongs to the kind the scope does not look up.
  uint32_t RecordOf(uint32_t entry) const { return config_.entries_[entry].record; }

  // Record makers: each makes `entry` the name of a new record (its texts "", its numbers 0, no
  // value present) and returns the record's index. An authority gets a scope of its own.
  uint32_t AddBinding(uint32_t entry);
  uint32_t AddAccount(uint32_t entry);
  uint32_t AddAuthority(uint32_t entry);
  uint32_t AddUser(uint32_t entry);
  // The scope of the users of the authority `authority`.
  uint32_t ScopeOf(uint32_t authority) const { return config_.authorities_[authority].scope; }

  // A value of `field` of the record `record` (ignored for MAIN's fields, which have none): that
  // it exists, and what its first text item and its first int item hold (`text` zero-terminated).
  void SetPresent(Field field, uint32_t record);
  void SetText(Field field, uint32_t record, const char* text);
  void SetNumber(Field field, uint32_t record, int32_t number);

  // Makes the table and gives back what appending reserved; false when the form cannot hold the
  // configuration (more than 4 GB of names and texts).
  bool Finish();

 private:
  TextRef AddText(std::string_view text);
  // Doubles the build table, keeping every entry.
  void Grow();

  FilterConfig& config_;
  uint32_t next_scope_ = kFirstUserScope;
  bool ok_ = true;
  // The table while it is built: per slot the low 32 bits of the name's hash above the entry
  // index (kNone in the low half for a free slot), so that a probe compares names only when the
  // hashes agree, and growing needs no name. Finish keeps only the entry indices.
  std::vector<uint64_t> slots_;
};

}  // namespace vard

#endif  // VARDOMAR_FILTER_FILTER_CONFIG_BUILDER_H_
