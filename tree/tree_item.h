// TreeItem: one typed payload of a value (bytes, int, float, string, double or int64) with an
// optional name that the file writes as an index behind the value's name. Readers never convert
// between types. Reading is safe from many threads; changing needs exclusive use of the tree.
#ifndef VARDOMAR_TREE_TREE_ITEM_H_
#define VARDOMAR_TREE_TREE_ITEM_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "tree/named_object.h"

namespace vard {

// The same numbers are the text reader's line codes for the typed lines.
enum ItemType : int32_t {
  kNone = 0,
  kBytes = 5,
  kInt = 6,
  kFloat = 7,
  kString = 8,
  kDouble = 9,
  kInt64 = 10,
};

// The shared empty text returned for anything that has none.
extern const char kEmptyText[];

// Owned by the TreeValue it was added to (or by whoever holds the unique_ptr before that).
class TreeItem : public NamedObject {
 public:
  // The shared missing item: no name, type kNone, no payload, never changed.
  static TreeItem Null;

  // New items named `index` (empty: unnamed), made in `arena` when it is not null (see
  // NodeArena), else on the heap. A string item copies `text`. A bytes item copies `length` bytes
  // from `data`; with a null `data` the block is zero-filled, with length 0 there is no block.
  // Null only when the block cannot be allocated.
  static std::unique_ptr<TreeItem> MakeInt(int32_t v, std::string_view index = {},
                                           NodeArena* arena = nullptr);
  static std::unique_ptr<TreeItem> MakeFloat(float v, std::string_view index = {},
                                             NodeArena* arena = nullptr);
  static std::unique_ptr<TreeItem> MakeDouble(double v, std::string_view index = {},
                                              NodeArena* arena = nullptr);
  static std::unique_ptr<TreeItem> MakeInt64(int64_t v, std::string_view index = {},
                                             NodeArena* arena = nullptr);
  static std::unique_ptr<TreeItem> MakeString(std::string_view text, std::string_view index = {},
                                              NodeArena* arena = nullptr);
  static std::unique_ptr<TreeItem> MakeBytes(const void* data, int32_t length,
                                             std::string_view index = {},
                                             NodeArena* arena = nullptr);

  ~TreeItem();

  ItemType Type() const { return static_cast<ItemType>(subclass_byte_); }

  // The payload when the item has that type; otherwise 0, 0.0, the shared empty text or null.
  int32_t AsInt() const { return Type() == kInt ? num_.i32 : 0; }
  float AsFloat() const { return Type() == kFloat ? num_.f : 0.0f; }
  double AsDouble() const { return Type() == kDouble ? num_.d : 0.0; }
  int64_t AsInt64() const { return Type() == kInt64 ? num_.i64 : 0; }
  const char* AsString() const;  // never null; owned by the item
  const uint8_t* AsBytes() const;
  int32_t ByteLength() const { return Type() == kBytes ? byte_length_ : 0; }

  // Stores `v` converted to the item's own type (string: its "%d" text). Returns `v`; 0 for a
  // bytes item, a typeless item or the missing item, which stay unchanged.
  int32_t SetFromInt(int32_t v);
  // On a string item replaces the text with a copy of `text`: 1. Otherwise 0, unchanged.
  int SetText(std::string_view text);

 private:
  friend class NamedObject;
  friend class NodeArena;

  constexpr TreeItem() : NamedObject(Kind::kItem, true) { subclass_byte_ = kNone; }
  TreeItem(ItemType type, std::string_view index);
  TreeItem(const TreeItem& other);
  // Clone of an item: name, type and payload (texts and blocks are duplicated).
  std::unique_ptr<NamedObject> CloneItem() const;

  // A text shorter than this lives inside the item: dates, account names and most passwords,
  // which saves an allocation for nearly every string of a configuration.
  static constexpr size_t kInlineText = 16;

  bool HasHeapBlock() const;
  // Holds a copy of `text` as a string's payload, freeing a heap block the item held.
  void AssignText(std::string_view text);

  int32_t byte_length_ = 0;  // bytes: the block's length; string: the text's length
  union Payload {
    int32_t i32;
    float f;
    double d;
    int64_t i64;
    char* heap;              // a byte block, or a string text of kInlineText bytes or more
    char text[kInlineText];  // a shorter string text, zero-terminated
  } num_{.i64 = 0};
};

}  // namespace vard

#endif  // VARDOMAR_TREE_TREE_ITEM_H_
