#include "tree/named_list.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>

#include "tree/node_arena.h"
#include "tree/tree_node.h"

namespace vard {
namespace {

// Lists shorter than this scan their slots: for a handful of children a scan beats hashing.
constexpr int kIndexThreshold = 8;

// The first array a list takes when it outgrows its one slot in place. A list with more than one
// child is nearly always a section holding a user's half dozen values: growing its array 2, 4, 8
// would cost each user two allocations and copies more, and leave the same array in the end.
constexpr int32_t kFirstArray = 8;

// `stored` is a child's zero-terminated name; `name` a lookup name without zero bytes.
bool NameMatches(const char* stored, std::string_view name) {
  for (char c : name) {
    if (*stored == '\0' || FoldCase(*stored) != FoldCase(c)) return false;
    ++stored;
  }
  return *stored == '\0';
}

}  // namespace

NamedList::Extra::Extra() = default;
NamedList::Extra::~Extra() = default;

NamedList::NamedList(std::string_view name) : NamedObject(Kind::kList, name) {}

NamedList::NamedList(Kind kind, std::string_view name) : NamedObject(kind, name) {}

NamedList::~NamedList() {
  NamedObject** slots = Slots();
  for (int32_t i = 0; i < count_; ++i) {
    delete slots[i];
  }
  if (count_ > 1 && !slots_in_arena_) delete[] many_;
}

std::unique_ptr<NamedObject> NamedList::CloneList() const {
  std::unique_ptr<NamedList> copy(new NamedList(*this));
  copy->CloneChildrenFrom(*this);
  return copy;
}

void NamedList::CloneChildrenFrom(const NamedList& source) {
  NamedObject* const* slots = source.Slots();
  for (int32_t i = 0; i < source.count_; ++i) {
    if (slots[i] != nullptr) Add(slots[i]->Clone());
  }
}

NodeArena* NamedList::TreeArena() {
  NamedList* top = this;
  while (top->owner_ != nullptr) top = top->owner_;
  if (top->IsReadOnly()) return nullptr;
  if (!top->extra_) top->extra_ = std::make_unique<Extra>();
  if (!top->extra_->arena) top->extra_->arena = std::make_unique<NodeArena>();
  return top->extra_->arena.get();
}

NamedObject* NamedList::At(int i) const {
  if (i < 1 || i > count_) return nullptr;
  if (folded_) return static_cast<const TreeValue*>(this)->FoldedItem();
  return Slots()[i - 1];
}

void NamedList::BeginFold() {
  count_ = 1;
  one_ = nullptr;
  folded_ = true;
}

NamedObject* NamedList::LoadFolded() const {
  return std::atomic_ref<NamedObject*>(const_cast<NamedObject*&>(one_))
      .load(std::memory_order_acquire);
}

NamedObject* NamedList::PublishFolded(std::unique_ptr<NamedObject> node) const {
  // A list read from many threads stays const for all of them; the node is the one thing a
  // reader adds, and only once.
  node->owner_ = const_cast<NamedList*>(this);
  NamedObject* expected = nullptr;
  if (std::atomic_ref<NamedObject*>(const_cast<NamedObject*&>(one_))
          .compare_exchange_strong(expected, node.get(), std::memory_order_acq_rel,
                                   std::memory_order_acquire)) {
    return node.release();
  }
  return expected;
}

int NamedList::IndexOf(std::string_view name) const {
  NameKey key{CutAtZero(name)};
  return key.name.empty() ? 0 : LowestSlotNamed(key);
}

NamedObject* NamedList::Find(std::string_view name) const { return At(IndexOf(name)); }

int NamedList::LowestSlotNamed(NameKey& key) const {
  // A folded item has no name: naming its node ends the folding (ChildRenamed).
  if (folded_) return 0;
  const std::string_view name = key.name;
  if (!Indexed()) {
    // Most children of a small list differ from the name in their first letter; checking it
    // first spares the call for them, and the loader looks up every value line it reads.
    const char first = FoldCase(name[0]);
    NamedObject* const* slots = Slots();
    for (int32_t i = 0; i < count_; ++i) {
      const NamedObject* child = slots[i];
      const char* stored = child ? child->GetName() : nullptr;
      if (stored && FoldCase(*stored) == first && NameMatches(stored + 1, name.substr(1))) {
        return i + 1;
      }
    }
    return 0;
  }
  key.hash = FoldedNameHash(name);
  key.hashed = true;
  return extra_->index.LowestMatch(
      key.hash, [&](const NamedObject* child) { return NameMatches(child->GetName(), name); });
}

void NamedList::AppendSlot(NodeArena* arena) {
  if (count_ == 0) {
    one_ = nullptr;
  } else if (count_ == 1) {
    NamedObject** slots = nullptr;
    if (arena != nullptr) {
      slots = static_cast<NamedObject**>(arena->Allocate(sizeof(NamedObject*) * kFirstArray));
      slots_in_arena_ = true;
    } else {
      slots = new NamedObject*[kFirstArray];
    }
    slots[0] = one_;
    many_ = slots;
  } else if (count_ >= kFirstArray && (count_ & (count_ - 1)) == 0) {  // full: a power of two
    auto** slots = new NamedObject*[static_cast<size_t>(count_) * 2];
    std::memcpy(slots, many_, sizeof(NamedObject*) * count_);
    // An array in the arena stays there until the arena goes.
    if (!slots_in_arena_) delete[] many_;
    slots_in_arena_ = false;
    many_ = slots;
  }
  ++count_;
  Slots()[count_ - 1] = nullptr;
}

int NamedList::Add(std::unique_ptr<NamedObject> child) {
  if (!child || IsReadOnly()) return 0;
  const char* name = child->GetName();
  NameKey key{name ? std::string_view(name) : std::string_view()};
  if (name != nullptr && LowestSlotNamed(key)) return 0;
  return AddAbsent(std::move(child), key, nullptr);
}

int NamedList::AddAbsent(std::unique_ptr<NamedObject> child, const NameKey& key, NodeArena* arena) {
  if (!child || IsReadOnly()) return 0;
  if (folded_) static_cast<TreeValue*>(this)->Unfold();
  const char* name = child->GetName();
  int32_t slot;
  if (extra_ && !extra_->holes.empty()) {
    std::vector<int32_t>& holes = extra_->holes;
    std::pop_heap(holes.begin(), holes.end(), std::greater<>());
    slot = holes.back();
    holes.pop_back();
  } else {
    AppendSlot(arena);
    slot = count_;
  }
  NamedObject* added = child.release();
  Slots()[slot - 1] = added;
  added->owner_ = this;
  if (Indexed()) {
    if (name) extra_->index.Insert(key.hashed ? key.hash : FoldedNameHash(key.name), slot, added);
  } else if (count_ >= kIndexThreshold) {
    if (!extra_) extra_ = std::make_unique<Extra>();
    NameIndex& index = extra_->index;
    index.Reserve(static_cast<uint32_t>(count_));
    NamedObject* const* slots = Slots();
    for (int32_t i = 0; i < count_; ++i) {
      const NamedObject* c = slots[i];
      if (c && c->GetName()) index.Insert(FoldedNameHash(c->GetName()), i + 1, c);
    }
  }
  return slot;
}

int NamedList::RemoveAt(int i) {
  if (IsReadOnly() || i < 1 || i > count_) return 0;
  if (folded_) static_cast<TreeValue*>(this)->Unfold();
  if (!Slots()[i - 1]) return 0;
  std::unique_ptr<NamedObject> gone(Slots()[i - 1]);
  Slots()[i - 1] = nullptr;
  if (Indexed() && gone->GetName()) extra_->index.Erase(FoldedNameHash(gone->GetName()), i);
  gone->owner_ = nullptr;
  if (!extra_) extra_ = std::make_unique<Extra>();
  extra_->holes.push_back(i);
  std::push_heap(extra_->holes.begin(), extra_->holes.end(), std::greater<>());
  gone.reset();
  return i;
}

int NamedList::Remove(std::string_view name) { return RemoveAt(IndexOf(name)); }

void NamedList::ChildRenamed(const NamedObject* child, std::string_view old_name) {
  if (folded_) static_cast<TreeValue*>(this)->Unfold();
  if (!Indexed()) return;
  NameIndex& index = extra_->index;
  int32_t slot = 0;
  if (!old_name.empty()) {
    const uint32_t old_hash = FoldedNameHash(old_name);
    slot = index.LowestMatch(old_hash, [&](const NamedObject* c) { return c == child; });
    if (slot != 0) index.Erase(old_hash, slot);
  }
  if (slot == 0) {
    // An unnamed child is not in the index: find its slot in the array.
    NamedObject* const* slots = Slots();
    for (int32_t i = 0; i < count_ && slot == 0; ++i) {
      if (slots[i] == child) slot = i + 1;
    }
  }
  if (slot != 0 && child->GetName()) index.Insert(FoldedNameHash(child->GetName()), slot, child);
}

}  // namespace vard
