// NamedList: an ordered list of owned named children in 1-based slots. Removing a child leaves a
// hole that the next addition fills (lowest hole first), so every other child keeps its slot.
// Names are unique ignoring ASCII case when children arrive through Add. Lookup by name and
// appending are O(1) amortised (a case-insensitive hash index once the list is no longer small).
// Const operations are safe from many threads (the one thing a const call adds, the item node of
// a value keeping its item in place, is published atomically); changes need exclusive use.
#ifndef VARDOMAR_TREE_NAMED_LIST_H_
#define VARDOMAR_TREE_NAMED_LIST_H_

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "tree/name_index.h"
#include "tree/named_object.h"

namespace vard {

// Owns its children; deleting the list deletes them in slot order. A list at the top of a tree
// also owns the arena its loaded descendants live in (TreeArena).
class NamedList : public NamedObject {
 public:
  explicit NamedList(std::string_view name = {});
  ~NamedList();
  NamedList& operator=(const NamedList&) = delete;

  // Number of slots, holes included; it never decreases.
  int Count() const { return count_; }

  // The child in slot `i`; null for a hole or an index outside 1..Count(). On a value keeping its
  // one item in place, the first call makes the item's node (see TreeValue).
  NamedObject* At(int i) const;

  // The lowest slot whose child's name equals `name` ignoring case; 0 when none or `name` is
  // empty.
  int IndexOf(std::string_view name) const;

  // At(IndexOf(name)).
  NamedObject* Find(std::string_view name) const;

  // Takes `child` into the lowest hole, or appends it. Returns the slot, or 0 when `child` is
  // null, a child of the same name is present, or this list is a shared missing object; on 0 the
  // child is destroyed.
  int Add(std::unique_ptr<NamedObject> child);

  // Deletes the child in slot `i` and leaves a hole. Returns `i`; 0 when `i` is outside
  // 1..Count(), the slot is a hole, or this list is a shared missing object.
  int RemoveAt(int i);

  // RemoveAt(IndexOf(name)).
  int Remove(std::string_view name);

 protected:
  constexpr NamedList(Kind kind, bool read_only) : NamedObject(kind, read_only) {}
  NamedList(Kind kind, std::string_view name);
  // Copies the name only; the caller adds the cloned children (CloneChildrenFrom).
  NamedList(const NamedList& other) : NamedObject(other) {}
  // Clone of a list: a compacted deep copy, the clones of the children in slot order, holes left
  // out.
  std::unique_ptr<NamedObject> CloneList() const;
  // A name already cut at its zero byte and not empty, carrying the hash a lookup in an indexed
  // list computed, so that adding a child of that name after the lookup hashes it only once.
  struct NameKey {
    std::string_view name;
    uint32_t hash = 0;
    bool hashed = false;
  };
  // Gives `child`, made without a name and not yet added, the name of `key`, without searching
  // the name again for a zero byte.
  static void NameUnnamed(NamedObject* child, const NameKey& key) {
    child->AssignCutName(key.name);
  }
  // IndexOf for such a name; on an indexed list it leaves the name's hash in `key`.
  int LowestSlotNamed(NameKey& key) const;
  // Add for a child named `key.name` (empty: it has none) that a lookup through `key` has just
  // found absent: the same result without a second lookup. A slot array the list needs is made in
  // `arena` when it is not null (the load's), else on the heap.
  int AddAbsent(std::unique_ptr<NamedObject> child, const NameKey& key, NodeArena* arena);

  // Adds the clone of each child of `source` in slot order.
  void CloneChildrenFrom(const NamedList& source);
  // The arena of the list at the top of this one's tree, made on first use, for the nodes a load
  // adds; null when that list is a shared missing object. A node made there and removed later
  // keeps its memory until the top list goes, which a short-lived CGI request can afford.
  NodeArena* TreeArena();

  // A value may keep its one item in place of a child node (see TreeValue): the list then has one
  // slot whose node is made only when asked for. Folding starts on an empty list and ends when
  // the node, published by then, becomes an ordinary child.
  bool IsFolded() const { return folded_; }
  void BeginFold();
  void EndFold() { folded_ = false; }
  // The node published in the folded slot, or null. Readers on many threads may race to
  // publish one: PublishFolded keeps the first and returns it, destroying `node` when it lost.
  NamedObject* LoadFolded() const;
  NamedObject* PublishFolded(std::unique_ptr<NamedObject> node) const;

 private:
  friend class NamedObject;

  // Keeps the name index exact when `child` was renamed from `old_name` (empty: it had none).
  void ChildRenamed(const NamedObject* child, std::string_view old_name);

  // What only some lists need: the holes left by removals, past a handful of children the name
  // index, and at the top of a loaded tree its arena. Kept apart so a list of one or a few
  // children stays small. Destroyed after the children, so the arena outlives every node in it.
  struct Extra {
    Extra();
    ~Extra();                    // where the arena's class is known
    std::vector<int32_t> holes;  // min-heap of the hole slots
    NameIndex index;             // empty while the list is small
    std::unique_ptr<NodeArena> arena;
  };

  // The slot array: a list of one slot holds its child in place (most values hold one item);
  // longer lists an owned array whose capacity is Count() rounded up to a power of two, and at
  // least eight.
  NamedObject* const* Slots() const { return count_ <= 1 ? &one_ : many_; }
  NamedObject** Slots() { return count_ <= 1 ? &one_ : many_; }
  // Appends an empty slot, growing the array when it is full; its first array in `arena` when it
  // is not null (see slots_in_arena_).
  void AppendSlot(NodeArena* arena);
  bool Indexed() const { return extra_ && extra_->index.IsActive(); }

  int32_t count_ = 0;
  union {
    // While Count() <= 1: the child or null. Of a folded list read and published atomically
    // (LoadFolded, PublishFolded); every other access needs exclusive use.
    NamedObject* one_ = nullptr;
    NamedObject** many_;  // while Count() > 1: owned array of owned children (or null)
  };
  std::unique_ptr<Extra> extra_;
};

}  // namespace vard

#endif  // VARDOMAR_TREE_NAMED_LIST_H_
