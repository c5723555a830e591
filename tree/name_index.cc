#include "tree/name_index.h"

#include "tree/named_object.h"

namespace vard {

uint32_t FoldedNameHash(std::string_view name) {
  // FNV-1a over the folded bytes, then a finaliser so that linear probing sees well-spread bits.
  uint32_t h = 2166136261u;
  // Folded as the comparison folds, so names that compare equal land in the same cluster.
  for (const char c : name) h = (h ^ static_cast<uint8_t>(FoldCase(c))) * 16777619u;
  h ^= h >> 16;
  h *= 0x85ebca6bu;
  h ^= h >> 13;
  h *= 0xc2b2ae35u;
  h ^= h >> 16;
  return h;
}

void NameIndex::Reserve(uint32_t count) {
  uint32_t capacity = 16;
  // At most half full keeps the clusters, and so the probe to an empty cell, short.
  while (capacity < count * 2) capacity *= 2;
  if (!cells_ || capacity > mask_ + 1) Rehash(capacity);
}

void NameIndex::Insert(uint32_t hash, int32_t slot, const NamedObject* child) {
  if (!cells_ || (used_ + 1) * 2 > mask_ + 1) Rehash(cells_ ? (mask_ + 1) * 2 : 16);
  uint32_t i = hash & mask_;
  while (cells_[i].slot != 0) i = (i + 1) & mask_;
  cells_[i] = Cell{hash, slot, child};
  ++used_;
}

void NameIndex::Erase(uint32_t hash, int32_t slot) {
  if (!cells_) return;
  uint32_t i = hash & mask_;
  while (cells_[i].slot != 0 && !(cells_[i].slot == slot && cells_[i].hash == hash)) {
    i = (i + 1) & mask_;
  }
  if (cells_[i].slot == 0) return;
  // Backward-shift deletion: pull later members of the cluster into the gap when their home cell
  // does not lie cyclically between the gap and their position, so no tombstones are needed.
  for (uint32_t j = (i + 1) & mask_; cells_[j].slot != 0; j = (j + 1) & mask_) {
    const uint32_t home = cells_[j].hash & mask_;
    const bool home_between = (i <= j) ? (i < home && home <= j) : (i < home || home <= j);
    if (!home_between) {
      cells_[i] = cells_[j];
      i = j;
    }
  }
  cells_[i].slot = 0;
  --used_;
}

void NameIndex::Clear() {
  cells_.reset();
  mask_ = 0;
  used_ = 0;
}

void NameIndex::Rehash(uint32_t capacity) {
  std::unique_ptr<Cell[]> old = std::move(cells_);
  const uint32_t old_capacity = old ? mask_ + 1 : 0;
  cells_ = std::make_unique<Cell[]>(capacity);
  mask_ = capacity - 1;
  for (uint32_t k = 0; k < old_capacity; ++k) {
    if (old[k].slot == 0) continue;
    uint32_t i = old[k].hash & mask_;
    while (cells_[i].slot != 0) i = (i + 1) & mask_;
    cells_[i] = old[k];
  }
}

}  // namespace vard
