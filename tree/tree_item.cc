#include "tree/tree_item.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace vard {
namespace {

std::unique_ptr<char[]> CopyText(std::string_view text) {
  auto copy = std::make_unique_for_overwrite<char[]>(text.size() + 1);
  if (!text.empty()) std::memcpy(copy.get(), text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

}  // namespace

const char kEmptyText[] = "";

constinit TreeItem TreeItem::Null;

TreeItem::TreeItem(ItemType type, std::string_view index)
    : NamedObject(Kind::kItem, index), type_(type) {}

TreeItem::TreeItem(const TreeItem& other)
    : NamedObject(other), type_(other.type_), byte_length_(other.byte_length_), num_(other.num_) {
  if (type_ == kString) {
    data_ = CopyText(other.data_.get());
  } else if (other.data_) {
    data_ = std::make_unique_for_overwrite<char[]>(byte_length_);
    std::memcpy(data_.get(), other.data_.get(), byte_length_);
  }
}

TreeItem::~TreeItem() = default;

std::unique_ptr<NamedObject> TreeItem::Clone() const {
  return std::unique_ptr<NamedObject>(new TreeItem(*this));
}

std::unique_ptr<TreeItem> TreeItem::MakeInt(int32_t v, std::string_view index) {
  std::unique_ptr<TreeItem> item(new TreeItem(kInt, index));
  item->num_.i32 = v;
  return item;
}

std::unique_ptr<TreeItem> TreeItem::MakeFloat(float v, std::string_view index) {
  std::unique_ptr<TreeItem> item(new TreeItem(kFloat, index));
  item->num_.f = v;
  return item;
}

std::unique_ptr<TreeItem> TreeItem::MakeDouble(double v, std::string_view index) {
  std::unique_ptr<TreeItem> item(new TreeItem(kDouble, index));
  item->num_.d = v;
  return item;
}

std::unique_ptr<TreeItem> TreeItem::MakeInt64(int64_t v, std::string_view index) {
  std::unique_ptr<TreeItem> item(new TreeItem(kInt64, index));
  item->num_.i64 = v;
  return item;
}

std::unique_ptr<TreeItem> TreeItem::MakeString(std::string_view text, std::string_view index) {
  std::unique_ptr<TreeItem> item(new TreeItem(kString, index));
  item->data_ = CopyText(text);
  return item;
}

std::unique_ptr<TreeItem> TreeItem::MakeBytes(const void* data, int32_t length,
                                              std::string_view index) {
  std::unique_ptr<TreeItem> item(new TreeItem(kBytes, index));
  if (length <= 0) return item;
  // The length comes from a file; a block too large for memory is refused, not fatal.
  item->data_.reset(new (std::nothrow) char[length]);
  if (!item->data_) return nullptr;
  if (data) {
    std::memcpy(item->data_.get(), data, length);
  } else {
    std::memset(item->data_.get(), 0, length);
  }
  item->byte_length_ = length;
  return item;
}

const char* TreeItem::AsString() const { return type_ == kString ? data_.get() : kEmptyText; }

const uint8_t* TreeItem::AsBytes() const {
  return type_ == kBytes ? reinterpret_cast<const uint8_t*>(data_.get()) : nullptr;
}

int32_t TreeItem::SetFromInt(int32_t v) {
  if (IsReadOnly()) return 0;
  switch (type_) {
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
      std::snprintf(text, sizeof text, "%d", v);
      data_ = CopyText(text);
      return v;
    }
    case kBytes:
    case kNone:
      break;
  }
  return 0;
}

int TreeItem::SetText(std::string_view text) {
  if (IsReadOnly() || type_ != kString) return 0;
  data_ = CopyText(text);
  return 1;
}

}  // namespace vard
