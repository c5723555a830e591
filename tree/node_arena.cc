#include "tree/node_arena.h"

namespace vard {

void* NodeArena::AllocateInNewBlock(size_t bytes) {
  const size_t size = bytes > kBlockBytes ? bytes : kBlockBytes;
  blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(size));
  next_ = blocks_.back().get();
  left_ = size;
  void* at = next_;
  next_ += bytes;
  left_ -= bytes;
  return at;
}

}  // namespace vard
