// NodeArena: the block allocator a tree's top list takes loaded nodes from, so a tree of a
// million users costs neither an allocator header per node nor a free per node when it goes.
// Owned by the top list of the tree (see NamedList); it outlives every node made in it. Not
// synchronised: it is used only by changes, which need exclusive use of the tree.
#ifndef VARDOMAR_TREE_NODE_ARENA_H_
#define VARDOMAR_TREE_NODE_ARENA_H_

#include <cstddef>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "tree/named_object.h"

namespace vard {

class NodeArena {
 public:
  NodeArena() = default;
  NodeArena(const NodeArena&) = delete;
  NodeArena& operator=(const NodeArena&) = delete;

  // `bytes` of memory aligned for any node, valid until the arena is destroyed: what a loaded
  // list keeps its first array of slots in. Inline: the loader takes a node or an array from here
  // for every line it reads, and only one call in thousands needs a new block.
  void* Allocate(size_t bytes) {
    bytes = (bytes + kAlignment - 1) & ~(kAlignment - 1);
    if (bytes > left_) return AllocateInNewBlock(bytes);
    void* at = next_;
    next_ += bytes;
    left_ -= bytes;
    return at;
  }

  // A new `T` (a NamedObject class) made from `args`, in `arena` when it is not null, else on the
  // heap. Deleting an arena node runs its destructor and leaves its memory to the arena, which
  // frees it with itself.
  template <typename T, typename... Args>
  static std::unique_ptr<T> New(NodeArena* arena, Args&&... args) {
    static_assert(alignof(T) <= kAlignment);
    if (arena == nullptr) return std::unique_ptr<T>(new T(std::forward<Args>(args)...));
    T* node = new (arena->Allocate(sizeof(T))) T(std::forward<Args>(args)...);
    node->in_arena_ = true;
    return std::unique_ptr<T>(node);
  }

 private:
  // Every node class holds nothing aligned wider than a pointer or a double.
  static constexpr size_t kAlignment = 8;
  // Blocks stay below the size the allocator maps on its own: a million users take some ten
  // thousand of them, each one allocation.
  static constexpr size_t kBlockBytes = 64 * 1024;

  // Allocate for `bytes` (already aligned) more than the last block has left.
  void* AllocateInNewBlock(size_t bytes);

  std::vector<std::unique_ptr<std::byte[]>> blocks_;
  std::byte* next_ = nullptr;  // the free rest of the last block
  size_t left_ = 0;
};

}  // namespace vard

#endif  // VARDOMAR_TREE_NODE_ARENA_H_
