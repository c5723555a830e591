#include "tree/name_index.h"

#include <cstring>

#include "tree/named_object.h"

namespace vard {

namespace {

constexpr uint64_t kOnes = 0x0101010101010101u;
constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15u;

// The eight bytes of `word` with each ASCII capital made its small letter, as FoldCase does one
// byte: a byte below 0x80 that lies in 'A'..'Z' gains 0x20. No sum carries into the next byte.
uint64_t FoldWord(uint64_t word) {
  const uint64_t low = word & (0x7F * kOnes);
  const uint64_t from_a = low + (0x80 - 'A') * kOnes;      // top bit set where low >= 'A'
  const uint64_t past_z = low + (0x80 - 'Z' - 1) * kOnes;  // top bit set where low > 'Z'
  const uint64_t capital = from_a & ~past_z & ~word & (0x80 * kOnes);
  return word | (capital >> 2);
}

uint64_t Mix(uint64_t hash, uint64_t word) {
  hash = (hash ^ word) * kMultiplier;
  return hash ^ (hash >> 29);
}

uint64_t Load(const char* at) {
  uint64_t word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

}  // namespace

uint32_t FoldedNameHash(std::string_view name) {
  // Eight folded bytes at a time: a byte at a time cost a user's name some 150 instructions, and
  // the loader hashes every user's name. Names equal ignoring case fold to the same bytes, and so
  // hash alike.
  const size_t size = name.size();
  const char* data = name.data();
  uint64_t hash = size * kMultiplier;
  size_t i = 0;
  for (; i + 8 <= size; i += 8) hash = Mix(hash, FoldWord(Load(data + i)));
  if (i < size) {
    uint64_t tail = 0;
    if (size >= 8) {
      // The last eight bytes, without the ones already mixed in.
      tail = Load(data + size - 8) >> (8 * (8 - (size - i)));
    } else {
      for (size_t k = 0; k < size; ++k)
        tail |= static_cast<uint64_t>(static_cast<uint8_t>(data[k])) << (8 * k);
    }
    hash = Mix(hash, FoldWord(tail));
  }
  // Linear probing takes the low bits: the high half of the product is folded into them.
  hash *= kMultiplier;
  return static_cast<uint32_t>(hash ^ (hash >> 32));
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
