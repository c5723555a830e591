// NameIndex: the case-insensitive hash index behind NamedList's lookups by name. It maps the hash
// of a folded name to the slots whose child carries a name with that hash; the list resolves
// collisions by comparing names. Const lookups change nothing and are safe from many threads.
#ifndef VARDOMAR_TREE_NAME_INDEX_H_
#define VARDOMAR_TREE_NAME_INDEX_H_

#include <cstdint>
#include <memory>
#include <string_view>

namespace vard {

class NamedObject;

// Hash of `name` with ASCII letters folded to lower case.
uint32_t FoldedNameHash(std::string_view name);

// Open addressing with linear probing and backward-shift deletion; owned by its NamedList.
class NameIndex {
 public:
  constexpr NameIndex() = default;
  NameIndex(NameIndex&&) = default;
  NameIndex& operator=(NameIndex&&) = default;

  // False until the first Reserve or Insert: a small list scans its slots instead.
  bool IsActive() const { return cells_ != nullptr; }

  // Makes room for `count` records without growing.
  void Reserve(uint32_t count);
  // Records that `child`, in `slot`, has a name hashing to `hash`.
  void Insert(uint32_t hash, int32_t slot, const NamedObject* child);
  // Forgets that record; nothing happens when it is absent.
  void Erase(uint32_t hash, int32_t slot);
  void Clear();

  // Calls `matches(child)` for every child recorded under `hash` and returns the lowest slot for
  // which it returned true, or 0. The child is kept in the cell so that a lookup touches the
  // child itself and not the list's slot array too.
  template <typename Matches>
  int32_t LowestMatch(uint32_t hash, Matches matches) const {
    if (!cells_) return 0;
    int32_t best = 0;
    for (uint32_t i = hash & mask_;; i = (i + 1) & mask_) {
      const Cell& cell = cells_[i];
      if (cell.slot == 0) return best;
      if (cell.hash == hash && (best == 0 || cell.slot < best) && matches(cell.child)) {
        best = cell.slot;
      }
    }
  }

 private:
  struct Cell {
    uint32_t hash;
    int32_t slot;  // 0: empty cell
    const NamedObject* child;
  };

  void Rehash(uint32_t capacity);

  std::unique_ptr<Cell[]> cells_;
  uint32_t mask_ = 0;  // capacity - 1, capacity a power of two
  uint32_t used_ = 0;
};

}  // namespace vard

#endif  // VARDOMAR_TREE_NAME_INDEX_H_
