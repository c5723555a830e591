#include "tree/named_object.h"

#include <cstring>
#include <string>

#include "tree/named_list.h"
#include "tree/tree_item.h"
#include "tree/tree_node.h"

namespace vard {

bool NamesEqual(std::string_view a, std::string_view b) {
  // One pass that ends each name at its zero byte or its end, whichever comes first: the loader
  // and every lookup compare names, and scanning each for a zero byte first costs more than the
  // comparison.
  const size_t common = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < common; ++i) {
    const char x = a[i];
    const char y = b[i];
    if (x == y) {
      if (x == '\0') return true;
    } else if (FoldCase(x) != FoldCase(y)) {  // also where only one of them ends here
      return false;
    }
  }
  if (a.size() == b.size()) return true;
  return (a.size() > b.size() ? a : b)[common] == '\0';
}

void NamedObject::AssignName(std::string_view text) {
  if (!text.empty()) AssignCutName(CutAtZero(text));
}

void NamedObject::AssignCutName(std::string_view text) {
  if (text.empty()) return;
  char* to = name_.inline_text;
  name_form_ = kInline;
  if (text.size() >= kInlineName) {
    to = name_.heap = new char[text.size() + 1];
    name_form_ = kHeap;
  }
  std::memcpy(to, text.data(), text.size());
  to[text.size()] = '\0';
}

void NamedObject::FreeName() {
  if (name_form_ == kHeap) delete[] name_.heap;
  name_form_ = kNoName;
}

NamedObject::NamedObject(std::string_view name) { AssignName(name); }

NamedObject::NamedObject(Kind kind, std::string_view name) : kind_(kind) { AssignName(name); }

NamedObject::NamedObject(const NamedObject& other)
    : kind_(other.kind_), read_only_(other.read_only_), subclass_byte_(other.subclass_byte_) {
  if (const char* name = other.GetName()) AssignName(name);
}

NamedObject::~NamedObject() { FreeName(); }

void* NamedObject::operator new(size_t bytes) { return ::operator new(bytes); }

void* NamedObject::operator new(size_t bytes, const std::nothrow_t&) noexcept {
  return ::operator new(bytes, std::nothrow);
}

void NamedObject::operator delete(NamedObject* object, std::destroying_delete_t) {
  const bool in_arena = object->in_arena_;
  switch (object->kind_) {
    case Kind::kPlain:
      object->~NamedObject();
      break;
    case Kind::kList:
      static_cast<NamedList*>(object)->~NamedList();
      break;
    case Kind::kSection:
      static_cast<TreeSection*>(object)->~TreeSection();
      break;
    case Kind::kValue:
      static_cast<TreeValue*>(object)->~TreeValue();
      break;
    case Kind::kItem:
      static_cast<TreeItem*>(object)->~TreeItem();
      break;
  }
  // Single inheritance without virtual functions: the block starts at the object.
  if (!in_arena) ::operator delete(object);
}

std::unique_ptr<NamedObject> NamedObject::Clone() const {
  switch (kind_) {
    case Kind::kList:
      return static_cast<const NamedList*>(this)->CloneList();
    case Kind::kSection:
      return static_cast<const TreeSection*>(this)->CloneSection();
    case Kind::kValue:
      return static_cast<const TreeValue*>(this)->CloneValue();
    case Kind::kItem:
      return static_cast<const TreeItem*>(this)->CloneItem();
    case Kind::kPlain:
      break;
  }
  return std::unique_ptr<NamedObject>(new NamedObject(*this));
}

int NamedObject::SetName(std::string_view text) {
  if (read_only_) return 0;
  // `text` may be this object's own name: copy it before freeing.
  const std::string copy(CutAtZero(text));
  const char* old = GetName();
  const std::string old_name = old ? old : "";
  FreeName();
  AssignName(copy);
  if (owner_ != nullptr) owner_->ChildRenamed(this, old_name);
  return 1;
}

}  // namespace vard
