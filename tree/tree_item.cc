#include "tree/tree_item.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "tree/node_arena.h"

namespace vard {

const char kEmptyText[] = "";

constinit TreeItem TreeItem::Null;

bool ItemView::HasHeapBlock() const {
  if (type_ == kBytes) return length_ > 0;
  return type_ == kString && static_cast<size_t>(length_) >= kInlineText;
}

const char* ItemView::AsString() const {
  if (type_ != kString) return kEmptyText;
  return static_cast<size_t>(length_) < kInlineText ? payload_.text : payload_.heap;
}

const uint8_t* ItemView::AsBytes() const {
  return HasHeapBlock() && type_ == kBytes ? reinterpret_cast<const uint8_t*>(payload_.heap)
                                           : nullptr;
}

void TreeItem::CopyPayload(ItemType type, int32_t length, const ItemPayload& from,
                           int32_t* to_length, ItemPayload* to) {
  const ItemView view(type, length, from);
  *to = from;
  *to_length = length;
  if (type == kString) {
    *to_length = 0;
    AssignText(view.AsString(), to_length, to);
  } else if (view.HasHeapBlock()) {
    to->heap = new char[length];
    std::memcpy(to->heap, from.heap, length);
  }
}

void TreeItem::FreePayload(ItemType type, int32_t length, ItemPayload* payload) {
  if (ItemView(type, length, *payload).HasHeapBlock()) delete[] payload->heap;
}

void TreeItem::AssignText(std::string_view text, int32_t* length, ItemPayload* payload) {
  // The new payload is complete before the old is freed: `text` may be the payload's own text.
  ItemPayload fresh;
  char* to = fresh.text;
  if (text.size() >= kInlineText) to = fresh.heap = new char[text.size() + 1];
  if (!text.empty()) std::memcpy(to, text.data(), text.size());
  to[text.size()] = '\0';
  FreePayload(kString, *length, payload);
  *payload = fresh;
  *length = static_cast<int32_t>(text.size());
}

bool TreeItem::StoreInt(ItemType type, int32_t v, int32_t* length, ItemPayload* payload) {
  switch (type) {
    case kInt:
      payload->i32 = v;
      return true;
    case kFloat:
      payload->f = static_cast<float>(v);
      return true;
    case kDouble:
      payload->d = v;
      return true;
    case kInt64:
      payload->i64 = v;
      return true;
    case kString: {
      char text[16];
      const int written = std::snprintf(text, sizeof text, "%d", v);
      AssignText(std::string_view(text, static_cast<size_t>(written)), length, payload);
      return true;
    }
    case kBytes:
    case kNone:
      break;
  }
  return false;
}

std::unique_ptr<TreeItem> TreeItem::FromPayload(ItemType type, int32_t length,
                                                const ItemPayload& payload) {
  std::unique_ptr<TreeItem> item(new TreeItem(type, {}));
  CopyPayload(type, length, payload, &item->byte_length_, &item->num_);
  return item;
}

std::unique_ptr<TreeItem> TreeItem::MakeLoaded(ItemType type, const ItemPayload& number,
                                               std::string_view text, std::string_view index,
                                               NodeArena* arena) {
  if (type == kString) return MakeString(text, index, arena);
  std::unique_ptr<TreeItem> item = NodeArena::New<TreeItem>(arena, type, index);
  item->num_ = number;
  return item;
}

TreeItem::TreeItem(ItemType type, std::string_view index) : NamedObject(Kind::kItem, index) {
  subclass_byte_ = static_cast<uint8_t>(type);
}

TreeItem::TreeItem(const TreeItem& other) : NamedObject(other) {
  CopyPayload(Type(), other.byte_length_, other.num_, &byte_length_, &num_);
}

TreeItem::~TreeItem() { FreePayload(Type(), byte_length_, &num_); }

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
  AssignText(text, &item->byte_length_, &item->num_);
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

int32_t TreeItem::SetFromInt(int32_t v) {
  if (IsReadOnly()) return 0;
  return StoreInt(Type(), v, &byte_length_, &num_) ? v : 0;
}

int TreeItem::SetText(std::string_view text) {
  if (IsReadOnly() || Type() != kString) return 0;
  AssignText(text, &byte_length_, &num_);
  return 1;
}

}  // namespace vard
