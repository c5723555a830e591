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

// A text shorter than this lives inside an item's payload: dates, account names and most
// passwords, which saves an allocation for nearly every string of a configuration.
constexpr size_t kInlineText = 16;

// What an item holds besides its name and type: a number, a text (inside while it is shorter
// than kInlineText, else on the heap) or a byte block on the heap. An item node keeps one, and so
// does a value that keeps its one unnamed item in place (see TreeValue); the holder keeps the type
// and the length beside it and frees what it owns.
union ItemPayload {
  int32_t i32;
  float f;
  double d;
  int64_t i64;
  char* heap;              // a byte block, or a string text of kInlineText bytes or more
  char text[kInlineText];  // a shorter string text, zero-terminated
};

// A read-only look at one payload with its type and length, wherever it is kept: the readers of
// an item. Valid while the holder is unchanged.
class ItemView {
 public:
  ItemView(ItemType type, int32_t length, const ItemPayload& payload)
      : type_(type), length_(length), payload_(payload) {}

  ItemType Type() const { return type_; }
  // The payload when the item has that type; otherwise 0, 0.0, the shared empty text or null.
  int32_t AsInt() const { return type_ == kInt ? payload_.i32 : 0; }
  float AsFloat() const { return type_ == kFloat ? payload_.f : 0.0f; }
  double AsDouble() const { return type_ == kDouble ? payload_.d : 0.0; }
  int64_t AsInt64() const { return type_ == kInt64 ? payload_.i64 : 0; }
  const char* AsString() const;  // never null
  const uint8_t* AsBytes() const;
  int32_t ByteLength() const { return type_ == kBytes ? length_ : 0; }

  // Whether the payload owns a heap block (a byte block, or a long text).
  bool HasHeapBlock() const;

 private:
  friend class TreeValue;

  ItemType type_;
  // bytes: the block's length; string: the text's length, or for a text a value keeps in place
  // only which side of kInlineText it lies on (see TreeValue)
  int32_t length_;
  const ItemPayload& payload_;
};

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
  ItemView View() const { return ItemView(Type(), byte_length_, num_); }

  // The payload when the item has that type; otherwise 0, 0.0, the shared empty text or null.
  // Texts and blocks are owned by the item.
  int32_t AsInt() const { return View().AsInt(); }
  float AsFloat() const { return View().AsFloat(); }
  double AsDouble() const { return View().AsDouble(); }
  int64_t AsInt64() const { return View().AsInt64(); }
  const char* AsString() const { return View().AsString(); }
  const uint8_t* AsBytes() const { return View().AsBytes(); }
  int32_t ByteLength() const { return View().ByteLength(); }

  // Stores `v` converted to the item's own type (string: its "%d" text). Returns `v`; 0 for a
  // bytes item, a typeless item or the missing item, which stay unchanged.
  int32_t SetFromInt(int32_t v);
  // On a string item replaces the text with a copy of `text`: 1. Otherwise 0, unchanged.
  int SetText(std::string_view text);

 private:
  friend class NamedObject;
  friend class NodeArena;
  friend class TreeSection;
  friend class TreeValue;

  constexpr TreeItem() : NamedObject(Kind::kItem, true) { subclass_byte_ = kNone; }
  TreeItem(ItemType type, std::string_view index);
  TreeItem(const TreeItem& other);
  // Clone of an item: name, type and payload (texts and blocks are duplicated).
  std::unique_ptr<NamedObject> CloneItem() const;

  // The payload operations an item node and a value holding its item in place share.
  //
  // Makes `*to` and `*to_length` a copy of `from` of that type and length (texts and blocks
  // duplicated; a text up to its first zero byte). `*to` owns nothing yet.
  static void CopyPayload(ItemType type, int32_t length, const ItemPayload& from,
                          int32_t* to_length, ItemPayload* to);
  // Frees the heap block `payload` owns, if any.
  static void FreePayload(ItemType type, int32_t length, ItemPayload* payload);
  // Makes `*payload` (a string's, owning a heap block when `*length` says so) a copy of `text`
  // and `*length` its length. `text` may be the payload's own text.
  static void AssignText(std::string_view text, int32_t* length, ItemPayload* payload);
  // `v` converted to `type` into `*payload` (string: its "%d" text). False for bytes and kNone.
  static bool StoreInt(ItemType type, int32_t v, int32_t* length, ItemPayload* payload);
  // A new item named `index` in `arena` (may be null) of a loaded line's type: `text` for a
  // string, else `number`.
  static std::unique_ptr<TreeItem> MakeLoaded(ItemType type, const ItemPayload& number,
                                              std::string_view text, std::string_view index,
                                              NodeArena* arena);
  // A new unnamed heap item of that type holding a copy of the payload.
  static std::unique_ptr<TreeItem> FromPayload(ItemType type, int32_t length,
                                               const ItemPayload& payload);

  int32_t byte_length_ = 0;  // bytes: the block's length; string: the text's length
  ItemPayload num_{.i64 = 0};
};

}  // namespace vard

#endif  // VARDOMAR_TREE_TREE_ITEM_H_
