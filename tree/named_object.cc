#include "tree/named_object.h"

#include <cstring>
#include <string>

#include "tree/named_list.h"

namespace vard {

bool NamesEqual(std::string_view a, std::string_view b) {
  a = CutAtZero(a);
  b = CutAtZero(b);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

void NamedObject::AssignName(std::string_view text) {
  text = CutAtZero(text);
  if (text.empty()) return;
  name_ = text.size() < kInlineName ? inline_name_ : new char[text.size() + 1];
  std::memcpy(name_, text.data(), text.size());
  name_[text.size()] = '\0';
}

void NamedObject::FreeName() {
  if (name_ != inline_name_) delete[] name_;
  name_ = nullptr;
}

NamedObject::NamedObject(std::string_view name) { AssignName(name); }

NamedObject::NamedObject(Kind kind, std::string_view name) : kind_(kind) { AssignName(name); }

NamedObject::NamedObject(const NamedObject& other)
    : kind_(other.kind_), read_only_(other.read_only_) {
  if (other.name_) AssignName(other.name_);
}

NamedObject::~NamedObject() { FreeName(); }

std::unique_ptr<NamedObject> NamedObject::Clone() const {
  return std::unique_ptr<NamedObject>(new NamedObject(*this));
}

int NamedObject::SetName(std::string_view text) {
  if (read_only_) return 0;
  if (owner_ != nullptr) owner_->ChildRenaming(slot_, name_);
  // `text` may be this object's own name: copy it before freeing.
  const std::string copy(CutAtZero(text));
  FreeName();
  AssignName(copy);
  if (owner_ != nullptr) owner_->ChildRenamed(slot_, this);
  return 1;
}

}  // namespace vard
