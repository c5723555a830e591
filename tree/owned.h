// OwnedText and OwnedObject: scope holders that free an allocated text or delete a library object
// when the scope ends, so every return path releases what the function acquired. Not
// synchronised; a holder belongs to the function that made it.
#ifndef VARDOMAR_TREE_OWNED_H_
#define VARDOMAR_TREE_OWNED_H_

#include <memory>
#include <utility>

namespace vard {

// Owns a zero-terminated text allocated with new[] (such as a value read from the settings
// store) and frees it when destroyed. Movable, not copyable.
class OwnedText {
 public:
  OwnedText() = default;
  explicit OwnedText(std::unique_ptr<char[]> text) : text_(std::move(text)) {}

  // The text, or null when none is held. Still owned by the holder.
  const char* get() const { return text_.get(); }
  explicit operator bool() const { return text_ != nullptr; }

  // Frees the held text and takes `text` instead.
  void reset(std::unique_ptr<char[]> text = nullptr) { text_ = std::move(text); }

  // Hands the text to the caller, who then owns it; the holder is left empty.
  std::unique_ptr<char[]> release() { return std::move(text_); }

 private:
  std::unique_ptr<char[]> text_;
};

// Owns one library object (a tree node, a TextString, a cursor) and deletes it, through the
// destructor its class or kind names, when destroyed. Movable, not copyable.
template <typename T>
class OwnedObject {
 public:
  OwnedObject() = default;
  explicit OwnedObject(std::unique_ptr<T> object) : object_(std::move(object)) {}

  T* get() const { return object_.get(); }
  T* operator->() const { return object_.get(); }
  T& operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }

  // Deletes the held object and takes `object` instead.
  void reset(std::unique_ptr<T> object = nullptr) { object_ = std::move(object); }

  // Hands the object to the caller, who then owns it; the holder is left empty.
  std::unique_ptr<T> release() { return std::move(object_); }

 private:
  std::unique_ptr<T> object_;
};

}  // namespace vard

#endif  // VARDOMAR_TREE_OWNED_H_
