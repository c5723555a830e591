#include "tree/tree_item.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "tree/node_arena.h"

namespace vard {

const char kEmptyText[] = "";

constinit TreeItem TreeItem::Null;

TreeItem::TreeItem(ItemType type, std::string_view index) : NamedObject(Kind::kItem, index) {
  subclass_byte_ = static_cast<uint8_t>(type);
}

TreeItem::TreeItem(const TreeItem& other)
    : NamedObject(other), byte_length_(other.byte_length_), num_(other.num_) {
  if (Type() == kString) {
    byte_length_ = 0;
    AssignText(other.AsString());
  } else if (other.HasHeapBlock()) {
    num_.heap = new char[byte_length_];
    std::memcpy(num_.heap, other.num_.heap, byte_length_);
  }
}

TreeItem::~TreeItem() {
  if (HasHeapBlock()) delete[] num_.heap;
}

bool TreeItem::HasHeapBlock() const {
  if (Type() == kBytes) return byte_length_ > 0;
  return Type() == kString && static_cast<size_t>(byte_length_) >= kInlineText;
}

void TreeItem::AssignText(std::string_view text) {
  // The new payload is complete before the old is freed: `text` may be the item's own text.
  Payload fresh;
  char* to = fresh.text;
  if (text.size() >= kInlineText) to = fresh.heap = new char[text.size() + 1];
  if (!text.empty()) std::memcpy(to, text.data(), text.size());
  to[text.size()] = '\0';
  if (HasHeapBlock()) delete[] num_.heap;
  num_ = fresh;
  byte_length_ = static_cast<int32_t>(text.size());
}

std::unique_ptr<NamedObject> TreeItem::CloneItem() const {
  return std::unique_ptr<NamedObject>(new TreeItem(*this));
}

std::unique_ptr<TreeItem> TreeItem::MakeInt(int32_t v, std::string_view index, NodeArena* arena) {
  std::unique_ptr<TreeItem> item = NodeArena::New<TreeItem>(arena, kInt, index);
  item->num_.i32 = v;
  return item;
}

std::unique_ptr<TreeItem> TreeItem::MakeFloat(float v, std::string_view index, NodeArena* arena) {
  std::unique_ptr<TreeItem> item = NodeArena::New<TreeItem>(arena, kFloat, index);
  item->num_.f = v;
  return item;
}

std::unique_ptr<TreeItem> TreeItem::MakeDouble(double v, std::string_view index, NodeArena* arena) {
  std::unique_ptr<TreeItem> item = NodeArena::New<TreeItem>(arena, kDouble, index);
  item->num_.d = v;
  return item;
}

std::unique_ptr<TreeItem> TreeItem::MakeInt64(int64_t v, std::string_view index, NodeArena* arena) {
  std::unique_ptr<TreeItem> item = NodeArena::New<TreeItem>(arena, kInt64, index);
  item->num_.i64 = v;
  return item;
}

std::unique_ptr<TreeItem> TreeItem::MakeString(std::string_view text, std::string_view index,
                                               NodeArena* arena) {
  std::unique_ptr<TreeItem> item = NodeArena::New<TreeItem>(arena, kString, index);
  item->AssignText(text);
  return item;
}

std::unique_ptr<TreeItem> TreeItem::MakeBytes(const void* data, int32_t length,
                                              std::string_view index, NodeArena* arena) {
  std::unique_ptr<TreeItem> item = NodeArena::New<TreeItem>(arena, kBytes, index);
  if (length <= 0) return item;
  // The length comes from a file; a block too large for memory is refused, not fatal.
  item->num_.heap = new (std::nothrow) char[length];
  if (item->num_.heap == nullptr) return nullptr;
  if (data) {
    std::memcpy(item->num_.heap, data, length);
  } else {
    std::memset(item->num_.heap, 0, length);
  }
  item->byte_length_ = length;
  return item;
}

const char* TreeItem::AsString() const {
  if (Type() != kString) return kEmptyText;
  return static_cast<size_t>(byte_length_) < kInlineText ? num_.text : num_.heap;
}

const uint8_t* TreeItem::AsBytes() const {
  return HasHeapBlock() && Type() == kBytes ? reinterpret_cast<const uint8_t*>(num_.heap) : nullptr;
}

int32_t TreeItem::SetFromInt(int32_t v) {
  if (IsReadOnly()) return 0;
  switch (Type()) {
    case kInt:
      num_.i32 = v;
      return v;
    case kFloat:
      num_.f = static_cast<float>(v);
      return v;
    case kDouble:
      num_.d = v;
      return v;
    case kInt64:
      num_.i64 = v;
      return v;
    case kString: {
      char text[16];
      const int length = std::snprintf(text, sizeof text, "%d", v);
      AssignText(std::string_view(text, static_cast<size_t>(length)));
      return v;
    }
    case kBytes:
    case kNone:
      break;
  }
  return 0;
}

int TreeItem::SetText(std::string_view text) {
  if (IsReadOnly() || Type() != kString) return 0;
  AssignText(text);
  return 1;
}

}  // namespace vard
