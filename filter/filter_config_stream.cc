// FilterConfig::FromStream: the form read straight from the configuration text, line by line as
// TreeSection::Load would read it into a tree, without the tree. Only the sections the form reads
// are followed; every other one is skipped with its contents, since no lookup reaches into it.
// A section that reads a few values by name (MAIN, a user) keeps what it knows of each in a few
// bytes beside its record; a section whose every child the form looks up (SERVERS, an
// authority's users) finds its children through the form's own table, filled as they arrive.
// Everything is appended in file order, so a reload reads the file once and touches little else.
#include <array>
#include <cerrno>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "filter/filter_config.h"
#include "filter/filter_config_builder.h"
#include "schema/names.h"
#include "tree/named_object.h"
#include "tree/text_tree_stream.h"

namespace vard {
namespace {

using Builder = FilterConfig::Builder;
using Field = Builder::Field;
using NamedField = Builder::NamedField;

// NamesEqual for names without zero bytes (every name a line gives, and the schema's), which
// most pairs fail on their lengths: this runs for most lines of the file.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

// The sections the reader follows. kSkip: one whose contents no lookup reads (or one the loader
// skips), of which only the nesting counts.
enum class Kind : uint8_t {
  kSkip,
  kRoot,
  kMain,
  kServers,
  kAccounts,     // NTACCOUNTS: the mapped accounts
  kAuthorities,  // ACCOUNTS
  kAuthority,
  kAccount,
  kUser,
  kCount
};

// A name that a section of a few read names knows: a section's, followed as `section`, or a
// value's (`section` kSkip), read into `field`.
struct Known {
  std::string_view name;
  Kind section;
  Field field;
};

template <size_t N>
constexpr std::array<Known, N> ValuesOf(const NamedField (&fields)[N]) {
  std::array<Known, N> known{};
  for (size_t i = 0; i < N; ++i) known[i] = {fields[i].name, Kind::kSkip, fields[i].field};
  return known;
}

template <size_t N>
constexpr std::array<Known, N + 1> ValuesAnd(const NamedField (&fields)[N], Known section) {
  std::array<Known, N + 1> known{};
  for (size_t i = 0; i < N; ++i) known[i] = ValuesOf(fields)[i];
  known[N] = section;
  return known;
}

constexpr Known kRootKnown[] = {{kMain, Kind::kMain, {}},
                                {kNtAccounts, Kind::kAccounts, {}},
                                {kAccounts, Kind::kAuthorities, {}}};
constexpr auto kMainKnown = ValuesAnd(Builder::kMainFields, {kServers, Kind::kServers, {}});
// A binding's one value is the value of SERVERS itself.
constexpr Known kBindingKnown[] = {{"", Kind::kSkip, Field::kBinding}};
constexpr auto kAccountKnown = ValuesOf(Builder::kAccountFields);
constexpr auto kAuthorityKnown = ValuesOf(Builder::kAuthorityFields);
constexpr auto kUserKnown = ValuesOf(Builder::kUserFields);

// The names the sections of each kind know (for SERVERS, the one per binding), by Kind.
constexpr std::array<std::span<const Known>, static_cast<size_t>(Kind::kCount)> kKnownOf = {
    std::span<const Known>(),  // kSkip
    kRootKnown,
    kMainKnown,
    kBindingKnown,             // kServers
    std::span<const Known>(),  // kAccounts
    std::span<const Known>(),  // kAuthorities
    kAuthorityKnown,
    kAccountKnown,
    kUserKnown};

std::span<const Known> KnownOf(Kind kind) { return kKnownOf[static_cast<size_t>(kind)]; }

// What the reader knows of a known name of one section: free, a section's (which keeps every
// later value of the name out), or a value's, with whether its first text and first int have
// come (later items change no lookup's answer).
enum State : uint8_t { kFree = 0, kSectionName = 1, kValueName = 2, kHasText = 4, kHasNumber = 8 };

// Whether the form looks up every child of the sections of `kind` (found through its table).
bool IsIndexed(Kind kind) {
  return kind == Kind::kServers || kind == Kind::kAccounts || kind == Kind::kAuthorities ||
         kind == Kind::kAuthority;
}

// One open section: what it is read as, and its record (a binding, account, authority or user;
// 0 for the root and MAIN, which have none).
struct Frame {
  Kind kind;
  uint32_t record;
};

class TextReader {
 public:
  explicit TextReader(Builder& build) : build_(build) {
    for (const Kind kind : {Kind::kRoot, Kind::kMain}) AddStates(kind);
  }

  // TreeSection::Load, line for line: reads to the end of the text, or to a close line that closes
  // nothing, where the loader stops too.
  void Read(TreeStream& stream) {
    std::vector<Frame> frames = {{Kind::kRoot, 0}};
    while (stream.ReadLine()) {
      const Frame at = frames.back();
      const int code = stream.ParseLine();
      if (at.kind == Kind::kSkip && code != kLineSectionOpen && code != kLineSectionClose) continue;
      switch (code) {
        case kLineSectionOpen:
          frames.push_back(OpenSection(at, stream.GetEntryNameView()));
          break;
        case kLineSectionClose:
          if (frames.size() == 1) return;
          frames.pop_back();
          break;
        case kLineArrayOpen: {
          std::string_view index;
          // Copied: counting the block reads on past this line.
          const std::string name(stream.GetEntryNameView(&index));
          const int count = stream.CountArrayLines();
          if (count > 0) {
            // The block's bytes are an unnamed item no lookup reads, but it makes the value (a
            // "MapTo" exists) and takes the name.
            stream.ReadArrayBytes(nullptr, count);
            OpenValue(at, name, code, {}, stream);
          } else {
            while (stream.ReadLine() && stream.ParseLine() != kLineArrayClose) {
            }
          }
          break;
        }
        case kLineInt:
        case kLineFloat:
        case kLineString:
        case kLineDouble:
        case kLineInt64: {
          std::string_view index;
          const std::string_view name = stream.GetEntryNameView(&index);
          OpenValue(at, name, code, index, stream);
          break;
        }
        default:
          break;
      }
    }
  }

 private:
  // The loader's nesting limit lies far deeper than any section the form reads, so the sections
  // it skips for their depth are skipped here anyway.
  Frame OpenSection(const Frame& at, std::string_view name) {
    if (!IsIndexed(at.kind)) {
      const std::span<const Known> known = KnownOf(at.kind);
      const int i = Find(known, name);
      if (i < 0) return {Kind::kSkip, 0};
      uint8_t& state = StateOf(at, i);
      if (state == kFree) state = kSectionName;
      return {state == kSectionName ? known[i].section : Kind::kSkip, 0};
    }
    bool added = false;
    const uint32_t entry = build_.OpenEntry(ScopeOf(at), name, &added);
    // A section of SERVERS only takes its name: no lookup reads it.
    if (entry == Builder::kNone || at.kind == Kind::kServers) return {Kind::kSkip, 0};
    if (!added) {
      // A value's name, whose section the loader skips, or a section opened again.
      const uint32_t record = build_.RecordOf(entry);
      if (record == Builder::kNone) return {Kind::kSkip, 0};
      return {ChildOf(at.kind), record};
    }
    const Kind child = ChildOf(at.kind);
    const uint32_t record = child == Kind::kAccount     ? build_.AddAccount(entry)
                            : child == Kind::kAuthority ? build_.AddAuthority(entry)
                                                        : build_.AddUser(entry);
    AddStates(child);
    return {child, record};
  }

  // A value line of type `code` (kLineArrayOpen: a byte block) named `name` with the item name
  // `index` (empty: none), in the section `at`.
  void OpenValue(const Frame& at, std::string_view name, int code, std::string_view index,
                 const TreeStream& stream) {
    const std::span<const Known> known = KnownOf(at.kind);
    if (!IsIndexed(at.kind)) {
      const int i = Find(known, name);
      if (i < 0) return;
      uint8_t& state = StateOf(at, i);
      if (state == kSectionName) return;
      if (state == kFree) {
        state = kValueName;
        if (known[i].section == Kind::kSkip) build_.SetPresent(known[i].field, at.record);
      }
      if (known[i].section == Kind::kSkip) AddItem(at, i, known[i].field, code, index, stream);
      return;
    }
    bool added = false;
    const uint32_t entry = build_.OpenEntry(ScopeOf(at), name, &added);
    if (entry == Builder::kNone) return;
    if (at.kind == Kind::kServers) {
      // Every value of SERVERS is a binding; a section's name (no record) keeps the value out.
      const uint32_t binding = added ? build_.AddBinding(entry) : build_.RecordOf(entry);
      if (binding == Builder::kNone) return;
      if (added) AddStates(Kind::kServers);
      AddItem({Kind::kServers, binding}, 0, Field::kBinding, code, index, stream);
      return;
    }
    // Elsewhere every record is a section's: a value whose name has one is dropped.
    if (!added && build_.RecordOf(entry) != Builder::kNone) return;
    const int i = at.kind == Kind::kAuthority ? Find(known, name) : -1;
    if (i >= 0) AddItem(at, i, known[i].field, code, index, stream);
  }

  // TreeValue::Add of the line's item to the value known as `known` of the section `at`: a named
  // item whose name the value holds is dropped; the first text and the first int are read.
  void AddItem(const Frame& at, int known, Field field, int code, std::string_view index,
               const TreeStream& stream) {
    uint8_t& state = StateOf(at, known);
    if ((state & (kHasText | kHasNumber)) == (kHasText | kHasNumber)) return;
    if (!index.empty()) {
      std::string key = {static_cast<char>(at.kind), static_cast<char>(known)};
      key.append(std::to_string(at.record)).push_back('/');
      for (const char c : index) key.push_back(FoldCase(c));
      if (!item_names_.insert(std::move(key)).second) return;
    }
    if (code == kLineString && (state & kHasText) == 0) {
      state |= kHasText;
      build_.SetText(field, at.record, stream.GetEntryString());
    } else if (code == kLineInt && (state & kHasNumber) == 0) {
      state |= kHasNumber;
      build_.SetNumber(field, at.record, stream.GetEntryInt());
    }
  }

  // The index of `name` in `known`, -1 when it is not there. Saved files spell the names as the
  // schema does, so an exact match is tried before the comparison that ignores case.
  static int Find(std::span<const Known> known, std::string_view name) {
    for (size_t i = 0; i < known.size(); ++i) {
      const std::string_view candidate = known[i].name;
      if (name.size() != candidate.size()) continue;
      if (name == candidate || SameName(name, candidate)) return static_cast<int>(i);
    }
    return -1;
  }

  // The scope the children of `at` (SERVERS, NTACCOUNTS, ACCOUNTS or an authority) are named in.
  uint32_t ScopeOf(const Frame& at) const {
    switch (at.kind) {
      case Kind::kServers:
        return Builder::kBindingScope;
      case Kind::kAccounts:
        return Builder::kAccountScope;
      case Kind::kAuthorities:
        return Builder::kAuthorityScope;
      default:
        return build_.ScopeOf(at.record);
    }
  }

  static Kind ChildOf(Kind kind) {
    return kind == Kind::kAccounts      ? Kind::kAccount
           : kind == Kind::kAuthorities ? Kind::kAuthority
                                        : Kind::kUser;
  }

  // The states of a new record of `kind` (or of the root or MAIN), one per name it knows.
  void AddStates(Kind kind) {
    std::vector<uint8_t>& states = states_[static_cast<size_t>(kind)];
    states.resize(states.size() + KnownOf(kind).size(), kFree);
  }
  uint8_t& StateOf(const Frame& at, int known) {
    const size_t stride = KnownOf(at.kind).size();
    return states_[static_cast<size_t>(at.kind)][at.record * stride + known];
  }

  Builder& build_;
  std::array<std::vector<uint8_t>, static_cast<size_t>(Kind::kCount)> states_;
  // The item names of values that have them, as "kind, known, record/folded name"; rare in a saved
  // file, so a set of strings costs nothing in the usual case.
  std::unordered_set<std::string> item_names_;
};

}  // namespace

std::unique_ptr<const FilterConfig> FilterConfig::FromStream(TextTreeStream& stream) {
  std::unique_ptr<FilterConfig> config(new FilterConfig);
  Builder build(*config);
  TextReader(build).Read(stream);
  if (const int error = stream.InputError()) {
    errno = error;
    return nullptr;
  }
  if (!build.Finish()) return nullptr;
  return config;
}

}  // namespace vard
