#include "tree/named_object.h"

#include <cstring>

#include "tree/named_list.h"

namespace vard {
namespace {

std::string_view CutAtZero(std::string_view text) {
  const void* zero = text.empty() ? nullptr : std::memchr(text.data(), '\0', text.size());
  return zero ? text.substr(0, static_cast<const char*>(zero) - text.data()) : text;
}

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::unique_ptr<char[]> CopyName(std::string_view text) {
  text = CutAtZero(text);
  if (text.empty()) return nullptr;
  auto copy = std::make_unique_for_overwrite<char[]>(text.size() + 1);
  std::memcpy(copy.get(), text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

}  // namespace

bool NamesEqual(std::string_view a, std::string_view b) {
  a = CutAtZero(a);
  b = CutAtZero(b);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

NamedObject::NamedObject(std::string_view name) : name_(CopyName(name)) {}

NamedObject::NamedObject(Kind kind, std::string_view name) : name_(CopyName(name)), kind_(kind) {}

NamedObject::NamedObject(const NamedObject& other)
    : name_(other.name_ ? CopyName(other.name_.get()) : nullptr),
      kind_(other.kind_),
      read_only_(other.read_only_) {}

NamedObject::~NamedObject() = default;

std::unique_ptr<NamedObject> NamedObject::Clone() const {
  return std::unique_ptr<NamedObject>(new NamedObject(*this));
}

int NamedObject::SetName(std::string_view text) {
  if (read_only_) return 0;
  std::unique_ptr<char[]> old = std::move(name_);
  name_ = CopyName(text);
  if (owner_ != nullptr) owner_->ChildRenamed(slot_, old.get(), name_.get());
  return 1;
}

}  // namespace vard
