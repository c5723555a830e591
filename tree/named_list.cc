#include "tree/named_list.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace vard {
namespace {

// Lists shorter than this scan their slots: for a handful of children a scan beats hashing.
constexpr int kIndexThreshold = 8;

// `stored` is a child's zero-terminated name; `name` a lookup name without zero bytes.
bool NameMatches(const char* stored, std::string_view name) {
  for (char c : name) {
    if (*stored == '\0' || FoldCase(*stored) != FoldCase(c)) return false;
    ++stored;
  }
  return *stored == '\0';
}

}  // namespace

NamedList::NamedList(std::string_view name) : NamedObject(Kind::kList, name) {}

NamedList::NamedList(Kind kind, std::string_view name) : NamedObject(kind, name) {}

NamedList::~NamedList() = default;

std::unique_ptr<NamedObject> NamedList::Clone() const {
  std::unique_ptr<NamedList> copy(new NamedList(*this));
  copy->CloneChildrenFrom(*this);
  return copy;
}

void NamedList::CloneChildrenFrom(const NamedList& source) {
  slots_.reserve(source.slots_.size() - source.holes_.size());
  for (const auto& child : source.slots_) {
    if (child) Add(child->Clone());
  }
}

NamedObject* NamedList::At(int i) const {
  if (i < 1 || i > Count()) return nullptr;
  return slots_[i - 1].get();
}

int NamedList::IndexOf(std::string_view name) const {
  name = CutAtZero(name);
  if (name.empty()) return 0;
  return LowestSlotNamed(name);
}

NamedObject* NamedList::Find(std::string_view name) const { return At(IndexOf(name)); }

int NamedList::LowestSlotNamed(std::string_view name) const {
  if (!index_.IsActive()) {
    for (size_t i = 0; i < slots_.size(); ++i) {
      const NamedObject* child = slots_[i].get();
      if (child && child->GetName() && NameMatches(child->GetName(), name)) {
        return static_cast<int>(i + 1);
      }
    }
    return 0;
  }
  return index_.LowestMatch(FoldedNameHash(name), [&](const NamedObject* child) {
    return NameMatches(child->GetName(), name);
  });
}

int NamedList::Add(std::unique_ptr<NamedObject> child) {
  if (!child || IsReadOnly()) return 0;
  const char* name = child->GetName();
  if (name && LowestSlotNamed(name)) return 0;
  int32_t slot;
  if (!holes_.empty()) {
    std::pop_heap(holes_.begin(), holes_.end(), std::greater<>());
    slot = holes_.back();
    holes_.pop_back();
    slots_[slot - 1] = std::move(child);
  } else {
    slots_.push_back(std::move(child));
    slot = Count();
  }
  NamedObject* added = slots_[slot - 1].get();
  added->owner_ = this;
  added->slot_ = slot;
  if (index_.IsActive()) {
    if (name) index_.Insert(FoldedNameHash(name), slot, added);
  } else if (Count() >= kIndexThreshold) {
    index_.Reserve(static_cast<uint32_t>(Count()));
    for (int i = 1; i <= Count(); ++i) {
      const NamedObject* c = slots_[i - 1].get();
      if (c && c->GetName()) index_.Insert(FoldedNameHash(c->GetName()), i, c);
    }
  }
  return slot;
}

int NamedList::RemoveAt(int i) {
  if (IsReadOnly() || i < 1 || i > Count() || !slots_[i - 1]) return 0;
  std::unique_ptr<NamedObject> gone = std::move(slots_[i - 1]);
  if (index_.IsActive() && gone->GetName()) index_.Erase(FoldedNameHash(gone->GetName()), i);
  gone->owner_ = nullptr;
  gone->slot_ = 0;
  holes_.push_back(i);
  std::push_heap(holes_.begin(), holes_.end(), std::greater<>());
  gone.reset();
  return i;
}

int NamedList::Remove(std::string_view name) { return RemoveAt(IndexOf(name)); }

void NamedList::ChildRenaming(int32_t slot, const char* old_name) {
  if (index_.IsActive() && old_name) index_.Erase(FoldedNameHash(old_name), slot);
}

void NamedList::ChildRenamed(int32_t slot, const NamedObject* child) {
  if (index_.IsActive() && child->GetName()) {
    index_.Insert(FoldedNameHash(child->GetName()), slot, child);
  }
}

}  // namespace vard
