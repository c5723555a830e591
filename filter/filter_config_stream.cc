// FilterConfig::FromStream: the form read straight from the configuration text. A reload at a
// hundred thousand users spent most of its time building a tree of every node and freeing it
// again; this route keeps of each node only its kind and name (what decides how later lines
// load) and of the values the form reads only their first text and first number.
#include <cerrno>
#include <cstdint>
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

// The values the form reads, wherever they stand; a value elsewhere (a user's full name, a
// section the filter does not read) keeps only its name and kind.
bool IsReadValue(std::string_view name) {
  for (const char* read : {kDisable, kLog, kPassword, kMapTo, kExpireDate, kNoExpiration, kDisabled,
                           kDoNotMap, kExpirationRequired}) {
    if (NamesEqual(name, read)) return true;
  }
  return false;
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
    uint32_t extra;  // a read value: its Value; an authority: its user scope; else kNoNode
    bool section;
  };
  struct Value {
    uint32_t text_offset = 0;  // in texts_, zero-terminated; offset 0 holds ""
    int32_t number = 0;
    bool has_text = false;
    bool has_number = false;
  };

  Shape() : texts_(1, '\0') {
    nodes_.push_back(Node{kNoNode, 0, 0, kNoNode, true});  // the root
    table_.assign(1024, kNoNode);
  }

  const std::vector<Node>& nodes() const { return nodes_; }
  Node& node(uint32_t id) { return nodes_[id]; }
  std::string_view Name(const Node& node) const {
    return {names_.data() + node.name_offset, node.name_size};
  }

  // The child `name` of `parent` of that kind; kNoNode when missing or of the other kind.
  uint32_t Child(uint32_t parent, std::string_view name, bool section) const {
    if (parent == kNoNode) return kNoNode;
    const uint32_t id = Lookup(parent, name);
    return id != kNoNode && nodes_[id].section == section ? id : kNoNode;
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
  // one when the name is free, kNoNode when the name is empty or the other kind's.
  uint32_t Open(uint32_t parent, std::string_view name, bool section, bool read_value) {
    if (name.empty()) return kNoNode;
    const uint64_t hash = HashName(0, parent, name);
    size_t slot = hash & (table_.size() - 1);
    for (;; slot = (slot + 1) & (table_.size() - 1)) {
      const uint32_t held = table_[slot];
      if (held == kNoNode) break;
      const Node& other = nodes_[held];
      if (other.parent == parent && NamesEqual(Name(other), name)) {
        return other.section == section ? held : kNoNode;
      }
    }
    const uint32_t id = static_cast<uint32_t>(nodes_.size());
    uint32_t extra = kNoNode;
    if (!section && read_value) {
      extra = static_cast<uint32_t>(values_.size());
      values_.emplace_back();
    }
    nodes_.push_back(Node{parent, static_cast<uint32_t>(names_.size()),
                          static_cast<uint32_t>(name.size()), extra, section});
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
      value.has_text = true;
      value.text_offset = static_cast<uint32_t>(texts_.size());
      texts_.append(stream.GetEntryString());
      texts_.push_back('\0');
    } else if (code == kLineInt && !value.has_number) {
      value.has_number = true;
      value.number = stream.GetEntryInt();
    }
  }

 private:
  uint32_t Lookup(uint32_t parent, std::string_view name) const {
    name = CutAtZero(name);
    if (name.empty()) return kNoNode;
    const size_t mask = table_.size() - 1;
    for (size_t slot = HashName(0, parent, name) & mask;; slot = (slot + 1) & mask) {
      const uint32_t held = table_[slot];
      if (held == kNoNode) return kNoNode;
      const Node& other = nodes_[held];
      if (other.parent == parent && NamesEqual(Name(other), name)) return held;
    }
  }

  const Value* ValueOf(uint32_t id) const {
    if (id == kNoNode || nodes_[id].extra == kNoNode) return nullptr;
    return &values_[nodes_[id].extra];
  }

  void Grow() {
    std::vector<uint32_t> table(table_.size() * 2, kNoNode);
    const size_t mask = table.size() - 1;
    for (uint32_t id = 1; id < nodes_.size(); ++id) {
      const Node& n = nodes_[id];
      size_t slot = HashName(0, n.parent, Name(n)) & mask;
      while (table[slot] != kNoNode) slot = (slot + 1) & mask;
      table[slot] = id;
    }
    table_.swap(table);
  }

  std::vector<Node> nodes_;
  std::vector<Value> values_;
  std::vector<uint32_t> table_;  // node ids, kNoNode free; a power of two long
  std::string names_;
  std::string texts_;
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
          child = shape.Open(current, name, true, false);
          if (shape.nodes().size() > before) {
            if (current == 0 && NamesEqual(name, kMain)) main = child;
            if (current == main && main != kNoNode && NamesEqual(name, kServers)) servers = child;
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
          shape.Open(current, name, false, current == servers || IsReadValue(name));
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
            shape.Open(current, name, false, current == servers || IsReadValue(name));
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
  std::unique_ptr<FilterConfig> config(new FilterConfig);
  Builder build(*config);
  const uint32_t main = shape.Child(0, kMain, true);
  build.SetMain(shape.Number(shape.Child(main, kDisable, false)) != 0,
                shape.Text(shape.Child(main, kLog, false)));
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
                        build.AddAccount(entry, shape.Text(shape.Child(id, kPassword, false))));
      }
    } else if (parent == authorities) {
      const uint32_t entry = build.AddEntry(kAuthorityScope, name, kNone);
      if (node.section) {
        node.extra = next_scope++;
        const bool required = shape.Number(shape.Child(id, kExpirationRequired, false)) != 0;
        build.SetRecord(entry, build.AddAuthority(entry, node.extra, required));
      }
    } else if (parent != 0 && shape.node(parent).section &&
               shape.node(parent).parent == authorities && authorities != kNoNode) {
      const uint32_t entry = build.AddEntry(shape.node(parent).extra, name, kNone);
      if (!node.section) continue;
      const uint32_t map_to = shape.Child(id, kMapTo, false);
      const UserValues values{
          .password = shape.Text(shape.Child(id, kPassword, false)),
          .has_map_to = map_to != kNoNode,
          .map_to = shape.Text(map_to),
          .disabled = shape.Number(shape.Child(id, kDisabled, false)) != 0,
          .do_not_map = shape.Number(shape.Child(id, kDoNotMap, false)) != 0,
          .no_expiration = shape.Number(shape.Child(id, kNoExpiration, false)) != 0,
          .expire_date = shape.Text(shape.Child(id, kExpireDate, false))};
      build.SetRecord(entry, build.AddUser(entry, values));
    }
  }
  if (!build.Finish()) return nullptr;
  return config;
}

}  // namespace vard
