// FilterConfig::FromStream: the form read straight from the configuration text. A reload at a
// hundred thousand users spent most of its time building a tree of every node and freeing it
// again; this route keeps of each node only its kind and name (what decides how later lines
// load) and of the values the form reads only their first text and first number.
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
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

constexpr uint32_t kNoNode = UINT32_MAX;

// The tree loader's nesting limit (TreeSection::Load): deeper sections are skipped with their
// contents, so both routes must skip the same ones.
constexpr size_t kMaxLoadDepth = 1000;

// NamesEqual for names without zero bytes (every name a line gives, and the schema's), which
// most pairs fail on their lengths: this runs for every line of the file.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

// The values the form reads, wherever they stand; a value elsewhere (a user's full name, a
// section the filter does not read) keeps only its name and kind.
enum ReadValue : int {
  kDisableAt,
  kLogAt,
  kPasswordAt,
  kMapToAt,
  kExpireDateAt,
  kNoExpirationAt,
  kDisabledAt,
  kDoNotMapAt,
  kExpirationRequiredAt,
  kReadValueCount
};
constexpr std::string_view kReadValues[kReadValueCount] = {
    kDisable,  kLog,      kPassword,          kMapTo, kExpireDate, kNoExpiration,
    kDisabled, kDoNotMap, kExpirationRequired};

// The index of `name` in kReadValues, -1 when the form reads no value of that name.
int ReadValueIndex(std::string_view name) {
  for (int i = 0; i < kReadValueCount; ++i) {
    if (SameName(name, kReadValues[i])) return i;
  }
  return -1;
}

// The shape of the tree the text would load into: every section and value with its parent and
// name, found by (parent, name) ignoring case as the tree finds children. Nodes are numbered in
// the order the tree would add them, so a parent's children in node order are its slots in order.
class Shape {
 public:
  struct Node {
    uint32_t parent;
    uint32_t name_offset;
    uint32_t name_size;
    uint32_t hash;   // HashName(parent, name), kept for probing and growing the table
    uint32_t extra;  // a value that keeps items: its Value; a section: its read values' block
    uint32_t scope;  // an authority: the scope of its users
    bool section;
  };
  struct Value {
    uint32_t text_offset = 0;  // in texts_, zero-terminated; offset 0 holds ""
    int32_t number = 0;
    bool has_text = false;
    bool has_number = false;
  };

  Shape() : texts_(1, '\0') {
    nodes_.push_back(Node{kNoNode, 0, 0, 0, kNoNode, kNoNode, true});  // the root
    table_.assign(1024, kNoNode);
  }

  const std::vector<Node>& nodes() const { return nodes_; }
  bool too_large() const { return too_large_; }
  Node& node(uint32_t id) { return nodes_[id]; }
  std::string_view Name(const Node& node) const {
    return {names_.data() + node.name_offset, node.name_size};
  }

  // The child `name` of `parent` of that kind; kNoNode when missing or of the other kind.
  uint32_t Child(uint32_t parent, std::string_view name, bool section) const {
    if (parent == kNoNode) return kNoNode;
    const uint32_t hash = static_cast<uint32_t>(HashName(0, parent, name));
    const size_t mask = table_.size() - 1;
    for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
      const uint32_t held = table_[slot];
      if (held == kNoNode) return kNoNode;
      const Node& other = nodes_[held];
      if (other.hash == hash && other.parent == parent && SameName(Name(other), name)) {
        return other.section == section ? held : kNoNode;
      }
    }
  }
  // The value kReadValues[at] of the section `parent`; kNoNode when it has none.
  uint32_t ReadChild(uint32_t parent, int at) const {
    if (parent == kNoNode || nodes_[parent].extra == kNoNode) return kNoNode;
    return read_values_[nodes_[parent].extra][at];
  }
  // GetString / GetInt of the value `id` (kNoNode: the missing value's "" and 0).
  const char* Text(uint32_t id) const {
    const Value* value = ValueOf(id);
    return texts_.c_str() + (value ? value->text_offset : 0);
  }
  int32_t Number(uint32_t id) const {
    const Value* value = ValueOf(id);
    return value ? value->number : 0;
  }

  // TreeSection::OpenSection / OpenValue: the child of that name when it has that kind, a new
  // one when the name is free, kNoNode when the name is empty or the other kind's. A new value
  // keeps its items when `keep_items`; `read` is its index in kReadValues, or -1.
  uint32_t Open(uint32_t parent, std::string_view name, bool section, bool keep_items, int read) {
    if (name.empty()) return kNoNode;
    const uint32_t hash = static_cast<uint32_t>(HashName(0, parent, name));
    const size_t mask = table_.size() - 1;
    size_t slot = hash & mask;
    for (;; slot = (slot + 1) & mask) {
      const uint32_t held = table_[slot];
      if (held == kNoNode) break;
      const Node& other = nodes_[held];
      if (other.hash == hash && other.parent == parent && SameName(Name(other), name)) {
        return other.section == section ? held : kNoNode;
      }
    }
    // Offsets are 32-bit, like the form's: a file past that fits no form (too_large()).
    if (names_.size() + name.size() >= kNoNode || nodes_.size() >= kNoNode - 1) {
      too_large_ = true;
      return kNoNode;
    }
    const uint32_t id = static_cast<uint32_t>(nodes_.size());
    uint32_t extra = kNoNode;
    if (!section && (keep_items || read >= 0)) {
      extra = static_cast<uint32_t>(values_.size());
      values_.emplace_back();
    }
    if (!section && read >= 0) {
      uint32_t& block = nodes_[parent].extra;
      if (block == kNoNode) {
        block = static_cast<uint32_t>(read_values_.size());
        read_values_.emplace_back();
        read_values_.back().fill(kNoNode);
      }
      read_values_[block][read] = id;
    }
    nodes_.push_back(Node{parent, static_cast<uint32_t>(names_.size()),
                          static_cast<uint32_t>(name.size()), hash, extra, kNoNode, section});
    names_.append(name);
    table_[slot] = id;
    if (nodes_.size() * 2 > table_.size()) Grow();
    return id;
  }

  // TreeValue::Add of an item of the line `code` named `index`: a named item whose name the
  // value holds is dropped; the first text and the first number are what the lookups answer.
  void AddItem(uint32_t id, int code, std::string_view index, const TreeStream& stream) {
    const uint32_t at = nodes_[id].extra;
    if (at == kNoNode) return;
    Value& value = values_[at];
    if (value.has_text && value.has_number) return;  // later items change no answer
    if (!index.empty()) {
      std::string key = std::to_string(at) + '/';
      for (const char c : index) key.push_back(FoldCase(c));
      if (!item_names_.insert(std::move(key)).second) return;
    }
    if (code == kLineString && !value.has_text) {
      const char* text = stream.GetEntryString();
      if (texts_.size() + std::strlen(text) >= kNoNode) {
        too_large_ = true;
        return;
      }
      value.has_text = true;
      value.text_offset = static_cast<uint32_t>(texts_.size());
      texts_.append(text);
      texts_.push_back('\0');
    } else if (code == kLineInt && !value.has_number) {
      value.has_number = true;
      value.number = stream.GetEntryInt();
    }
  }

 private:
  const Value* ValueOf(uint32_t id) const {
    if (id == kNoNode || nodes_[id].extra == kNoNode) return nullptr;
    return &values_[nodes_[id].extra];
  }

  void Grow() {
    std::vector<uint32_t> table(table_.size() * 2, kNoNode);
    const size_t mask = table.size() - 1;
    for (uint32_t id = 1; id < nodes_.size(); ++id) {
      size_t slot = nodes_[id].hash & mask;
      while (table[slot] != kNoNode) slot = (slot + 1) & mask;
      table[slot] = id;
    }
    table_.swap(table);
  }

  std::vector<Node> nodes_;
  std::vector<Value> values_;
  std::vector<std::array<uint32_t, kReadValueCount>> read_values_;  // node ids, kNoNode: none
  std::vector<uint32_t> table_;  // node ids, kNoNode free; a power of two long
  std::string names_;
  std::string texts_;
  bool too_large_ = false;
  std::unordered_set<std::string> item_names_;  // "value/folded item name", only while needed
};

// TreeSection::Load, line for line, into the shape; ids of MAIN and SERVERS are noted as they are
// made so that the values under SERVERS keep their texts.
bool ReadShape(TreeStream& stream, Shape& shape) {
  std::vector<uint32_t> frames = {0};  // the open sections; kNoNode for one being skipped
  uint32_t main = kNoNode;
  uint32_t servers = kNoNode;
  while (stream.ReadLine()) {
    const uint32_t current = frames.back();
    const int code = stream.ParseLine();
    if (current == kNoNode && code != kLineSectionOpen && code != kLineSectionClose) continue;
    switch (code) {
      case kLineSectionOpen: {
        const std::string_view name = stream.GetEntryName();
        uint32_t child = kNoNode;
        if (current != kNoNode && frames.size() <= kMaxLoadDepth) {
          const size_t before = shape.nodes().size();
          child = shape.Open(current, name, true, false, -1);
          if (shape.nodes().size() > before) {
            if (current == 0 && SameName(name, kMain)) main = child;
            if (current == main && main != kNoNode && SameName(name, kServers)) servers = child;
          }
        }
        frames.push_back(child);
        break;
      }
      case kLineSectionClose:
        if (frames.size() == 1) return true;  // the loader stops at an unmatched close
        frames.pop_back();
        break;
      case kLineArrayOpen: {
        const char* index = nullptr;
        const std::string name = stream.GetEntryName(&index);
        const int count = stream.CountArrayLines();
        if (count > 0) {
          // The block's bytes are an unnamed item no lookup of the form reads, but it makes the
          // value (a "MapTo" exists) and takes the name.
          stream.ReadArrayBytes(nullptr, count);
          shape.Open(current, name, false, current == servers, ReadValueIndex(name));
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
        const char* index = nullptr;
        const std::string_view name = stream.GetEntryName(&index);
        const uint32_t value =
            shape.Open(current, name, false, current == servers, ReadValueIndex(name));
        if (value != kNoNode) shape.AddItem(value, code, index ? index : "", stream);
        break;
      }
      default:
        break;
    }
  }
  return false;
}

}  // namespace

std::unique_ptr<const FilterConfig> FilterConfig::FromStream(TextTreeStream& stream) {
  Shape shape;
  ReadShape(stream, shape);
  if (const int error = stream.InputError()) {
    errno = error;
    return nullptr;
  }
  if (shape.too_large()) return nullptr;
  std::unique_ptr<FilterConfig> config(new FilterConfig);
  Builder build(*config);
  const uint32_t main = shape.Child(0, kMain, true);
  build.SetMain(shape.Number(shape.ReadChild(main, kDisableAt)) != 0,
                shape.Text(shape.ReadChild(main, kLogAt)));
  const uint32_t servers = shape.Child(main, kServers, true);
  const uint32_t accounts = shape.Child(0, kNtAccounts, true);
  const uint32_t authorities = shape.Child(0, kAccounts, true);
  uint32_t next_scope = kFirstUserScope;
  // Children follow their parents in node order, so an authority has its scope before its users.
  for (uint32_t id = 1; id < shape.nodes().size(); ++id) {
    Shape::Node& node = shape.node(id);
    const uint32_t parent = node.parent;
    const std::string_view name = shape.Name(node);
    if (parent == servers) {
      const uint32_t entry = build.AddEntry(kBindingScope, name, kNone);
      if (!node.section) build.SetRecord(entry, build.AddBinding(shape.Text(id)));
    } else if (parent == accounts) {
      const uint32_t entry = build.AddEntry(kAccountScope, name, kNone);
      if (node.section) {
        build.SetRecord(entry,
                        build.AddAccount(entry, shape.Text(shape.ReadChild(id, kPasswordAt))));
      }
    } else if (parent == authorities) {
      const uint32_t entry = build.AddEntry(kAuthorityScope, name, kNone);
      if (node.section) {
        node.scope = next_scope++;
        const bool required = shape.Number(shape.ReadChild(id, kExpirationRequiredAt)) != 0;
        build.SetRecord(entry, build.AddAuthority(entry, node.scope, required));
      }
    } else if (parent != 0 && shape.node(parent).section &&
               shape.node(parent).parent == authorities && authorities != kNoNode) {
      const uint32_t entry = build.AddEntry(shape.node(parent).scope, name, kNone);
      if (!node.section) continue;
      const uint32_t map_to = shape.ReadChild(id, kMapToAt);
      const UserValues values{
          .password = shape.Text(shape.ReadChild(id, kPasswordAt)),
          .has_map_to = map_to != kNoNode,
          .map_to = shape.Text(map_to),
          .disabled = shape.Number(shape.ReadChild(id, kDisabledAt)) != 0,
          .do_not_map = shape.Number(shape.ReadChild(id, kDoNotMapAt)) != 0,
          .no_expiration = shape.Number(shape.ReadChild(id, kNoExpirationAt)) != 0,
          .expire_date = shape.Text(shape.ReadChild(id, kExpireDateAt))};
      build.SetRecord(entry, build.AddUser(entry, values));
    }
  }
  if (!build.Finish()) return nullptr;
  return config;
}

}  // namespace vard
