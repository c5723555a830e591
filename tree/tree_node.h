// The node tree: sections (TreeSection) holding sections and values in one slot list, values
// (TreeValue) holding typed items (TreeItem). Lookups never return null: a missing node is the
// shared read-only TreeSection::Null / TreeValue::Null / TreeItem::Null, so lookups chain freely.
// Loaded nodes live in the arena of the tree's top section: one removed keeps its memory until
// the tree goes. The tree has no locks: const lookups and reads are safe from many threads at
// once; any change needs exclusive use of the tree.
#ifndef VARDOMAR_TREE_TREE_NODE_H_
#define VARDOMAR_TREE_TREE_NODE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "tree/named_list.h"
#include "tree/tree_item.h"

namespace vard {

class TreeSection;
class TreeStream;
class TreeValue;
class LoadObserver;

// A section or value. Owned by its parent section (the root by whoever created it).
class TreeNode : public NamedList {
 public:
  // A TreeValue rather than a TreeSection; one of the shared read-only missing objects (or a
  // copy of one), which are the only read-only nodes.
  bool IsValue() const { return kind() == Kind::kValue; }
  bool IsNull() const { return IsReadOnly(); }

 protected:
  constexpr explicit TreeNode(Kind kind) : NamedList(kind, true) {}
  TreeNode(Kind kind, std::string_view name) : NamedList(kind, name) {}
  TreeNode(const TreeNode& other) : NamedList(other) {}
};

// A value: one or more typed items, in practice one unnamed item. A loaded value whose one item
// is an unnamed number or text keeps that item in place instead of in a node of its own, most of
// the memory of a large configuration; it answers every call as if it held the node, which it
// makes when a caller asks for the item itself (At, GetItemAt) or changes the value's list.
// Making it is the one change a const call makes: it is published atomically, so many threads
// may still read the value at once.
class TreeValue : public TreeNode {
 public:
  // The shared missing value: reads as 0 and "", refuses every change.
  static TreeValue Null;

  explicit TreeValue(std::string_view name);
  ~TreeValue();

  // The payload of the first int item; 0 when there is none.
  int32_t GetInt() const;
  // The text of the first string item; the shared empty text when there is none. Never null;
  // owned by the tree.
  const char* GetString() const;
  // Sets the first int item to `v`, or appends an unnamed int item. 1; 0 on the missing value.
  int SetInt(int32_t v);
  // Replaces the text of the first string item, or appends an unnamed string item. 1; 0 on the
  // missing value.
  int SetString(std::string_view text);
  // The item in slot `i`; &TreeItem::Null for a hole or an index outside 1..Count().
  TreeItem* GetItemAt(int i) const;
  // The lowest slot holding an item of type `t`; 0 when none.
  int FindItemOfType(ItemType t) const;
  // The type and payload of the item in slot `i` (type kNone for a hole or an index outside
  // 1..Count()) and through `index` its name (null when it has none), without making a node for
  // an item kept in place: what a save reads.
  ItemView ViewItemAt(int i, const char** index) const;

 private:
  friend class NamedObject;
  friend class NamedList;
  friend class TreeSection;

  constexpr TreeValue() : TreeNode(Kind::kValue) {}
  TreeValue(const TreeValue& other) : TreeNode(other) {}
  // Clone of a value: its items' copies in slot order, holes left out.
  std::unique_ptr<NamedObject> CloneValue() const;

  // Makes an empty value keep one unnamed item of `type` in place: `text` for a string, else
  // `number`.
  void Fold(ItemType type, const ItemPayload& number, std::string_view text);
  // The item kept in place, read from its node once one was made (a caller may have changed it
  // through the node), else from the value.
  ItemView FoldedView() const;
  // The node of the item kept in place, made and published on the first call.
  TreeItem* FoldedItem() const;
  // Ends the folding before a change of the list: the item's node becomes the child in slot 1.
  void Unfold();
  ItemType FoldedType() const { return static_cast<ItemType>(subclass_byte_ & ~kFoldedTextOnHeap); }
  // The length an ItemView of the item kept in place is given. A view asks of a text's length
  // only whether the text is inline or on the heap, and this answers that.
  int32_t FoldedLength() const {
    return (subclass_byte_ & kFoldedTextOnHeap) ? static_cast<int32_t>(kInlineText) : 0;
  }

  // While folded: the item's type is in subclass_byte_, marked kFoldedTextOnHeap when its text is
  // on the heap, and its payload here. A text's length is not kept: a value holding one text is
  // most of a large tree, and without the length it takes 64 bytes rather than 72.
  static constexpr uint8_t kFoldedTextOnHeap = 0x80;
  ItemPayload folded_{.i64 = 0};
};

// A section: child sections and values in one slot list. The root of a configuration is
// file-backed: its name is the path it loads from and saves to.
class TreeSection : public TreeNode {
 public:
  // The shared missing section: empty, nameless, refuses every change.
  static TreeSection Null;

  // A section named `name`; a root carries its file path as name and file_backed = true.
  explicit TreeSection(std::string_view name, bool file_backed = false);

  // A root whose name is the path of the file it loads from and saves to.
  bool IsFileBacked() const { return subclass_byte_ != 0; }

  // The child section / value of that name or in that slot; &TreeSection::Null /
  // &TreeValue::Null when absent or of the other kind. Never null.
  TreeSection* GetSection(std::string_view name);
  const TreeSection* GetSection(std::string_view name) const;
  TreeSection* GetSectionAt(int i);
  const TreeSection* GetSectionAt(int i) const;
  TreeValue* GetValue(std::string_view name);
  const TreeValue* GetValue(std::string_view name) const;
  TreeValue* GetValueAt(int i);
  const TreeValue* GetValueAt(int i) const;

  // The child section of that name, appending a new empty one when no child has the name. Null
  // when the name belongs to a value, is empty, or this is the missing section.
  TreeSection* OpenSection(std::string_view name);
  // OpenSection(name), then returns this section (null when OpenSection gave null).
  TreeSection* AddSection(std::string_view name);
  // The child value of that name, appending a new value without items when no child has the
  // name. Null when the name belongs to a section, is empty, or this is the missing section.
  TreeValue* OpenValue(std::string_view name);

  // OpenValue(name), then adds a new item named `index` (empty: unnamed, always appended; a named
  // item whose name the value already holds is dropped). Returns the value, or null when
  // OpenValue gave null. AddBytes with a null `data` stores a zero-filled block of `length`.
  TreeValue* AddInt(std::string_view name, int32_t v, std::string_view index = {});
  TreeValue* AddFloat(std::string_view name, float v, std::string_view index = {});
  TreeValue* AddDouble(std::string_view name, double v, std::string_view index = {});
  TreeValue* AddInt64(std::string_view name, int64_t v, std::string_view index = {});
  TreeValue* AddString(std::string_view name, std::string_view text, std::string_view index = {});
  TreeValue* AddBytes(std::string_view name, const void* data, int32_t length,
                      std::string_view index = {});

  // OpenValue(name)->SetInt(v): 1; 0 when the name belongs to a section (or OpenValue failed).
  int SetInt(std::string_view name, int32_t v);

  // Reads entries from `stream` into this section until this section's close line (1) or the
  // end of the file (0). Adds to what the section holds. Problems are reported to the stream's
  // observer, if any.
  int Load(TreeStream& stream);
  // Writes this section's values (slot order), then its subsections (slot order) to `stream`.
  // 1 when the stream accepted every write; 0 when it refused one (the rest is still written).
  int Save(TreeStream& stream) const;

  // Root only: loads the file named by this section's name into the tree. 1 when the file
  // opened and was read to its end (whatever it held; what parses is added); 0 with errno when it
  // did not open, a read failed (what was read before stays added: load into a fresh root to try
  // again), or this is not a file-backed root. `observer` (may be null) hears of every line read
  // differently from how it looks; see LoadObserver.
  int LoadFile(LoadObserver* observer = nullptr);
  // Root only: replaces the file atomically (temporary file in the same directory, every write
  // checked, flushed, synced, renamed over the target keeping its permission bits). 1 on success;
  // 0 when this is not a file-backed root, a name or text cannot be represented in the file
  // format, or any file operation failed: then the old file is untouched and errno tells why.
  // When the format refused an entry (errno EINVAL), `refusal` (when not null) receives one line
  // of English naming the first such entry by its path; otherwise it is left empty.
  int SaveFile(std::string* refusal = nullptr) const;

 private:
  friend class NamedObject;

  constexpr TreeSection() : TreeNode(Kind::kSection) {}
  TreeSection(const TreeSection& other) : TreeNode(other) {}
  // Clone of a section: a deep copy of its subtree, holes left out, file mark kept.
  std::unique_ptr<NamedObject> CloneSection() const;

  // OpenSection and OpenValue for a name cut at its zero byte: the child of that name when it is
  // of kind `kKind`, else a new `Node` added under that name, owned by this section and made in
  // `arena` when it is not null; null when this section is read-only, the name is empty or belongs
  // to the other kind, or the new child cannot be added.
  template <typename Node, Kind kKind>
  Node* OpenChild(NameKey key, NodeArena* arena);
  // OpenSection / OpenValue for the load, which makes its nodes in the tree's arena and reads
  // names that hold no zero byte.
  TreeSection* OpenSectionIn(NodeArena* arena, std::string_view name);
  TreeValue* OpenValueIn(NodeArena* arena, std::string_view name);
};

}  // namespace vard

#endif  // VARDOMAR_TREE_TREE_NODE_H_
