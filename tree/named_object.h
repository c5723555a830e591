// NamedObject: the base of every node, item and list of the value tree. It owns a copy of its
// name and, while it sits in a NamedList, knows that list so a rename keeps the list's name index
// exact. The class is known from kind(), so an object carries no table of virtual functions:
// delete and Clone switch on the kind in one place each. Reading a name is safe from many threads;
// renaming needs exclusive use of the tree.
#ifndef VARDOMAR_TREE_NAMED_OBJECT_H_
#define VARDOMAR_TREE_NAMED_OBJECT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string_view>

namespace vard {

class NamedList;
class NodeArena;

// Names are compared ignoring ASCII letter case everywhere in the tree. A name ends at its first
// zero byte; an empty name means "no name".
bool NamesEqual(std::string_view a, std::string_view b);

// `text` up to its first zero byte, where every name and text of the tree ends.
inline std::string_view CutAtZero(std::string_view text) { return text.substr(0, text.find('\0')); }

// The letter case names are compared in: ASCII capitals as small letters, every other byte as is.
inline char FoldCase(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// A named object. Whoever holds the unique_ptr owns it; once added to a NamedList, the list does.
// A class deriving from a tree class outside the tree adds methods only, no fields and no virtual
// functions: it is destroyed and cloned as the tree class of its kind.
class NamedObject {
 public:
  explicit NamedObject(std::string_view name = {});
  ~NamedObject();
  NamedObject& operator=(const NamedObject&) = delete;

  // Every delete of a tree object comes here: it runs the destructor of the class its kind names
  // and frees the memory, unless the object was made in a NodeArena, which keeps the memory
  // until the arena goes.
  static void operator delete(NamedObject* object, std::destroying_delete_t);
  // The global allocation functions, declared here beside the delete above so that the compiler
  // pairs every new of a tree object with it.
  static void* operator new(size_t bytes);
  static void* operator new(size_t bytes, const std::nothrow_t&) noexcept;
  static void* operator new(size_t, void* at) noexcept { return at; }

  // A new object of the class its kind names, carrying a copy of the name and what that class
  // holds (a list its children's clones, see NamedList); the caller owns it.
  std::unique_ptr<NamedObject> Clone() const;

  // The name, or null when the object has none. Owned by the object; valid until it is renamed
  // or deleted.
  const char* GetName() const {
    return name_form_ == kNoName ? nullptr : name_form_ == kInline ? name_.inline_text : name_.heap;
  }

  // Replaces the name with a copy of `text` (empty: no name). Does not check the parent list for
  // another child of that name. 1 on success; 0 for a shared missing object, which stays as it is.
  int SetName(std::string_view text);

  // True for the process-wide missing objects (and copies of them): nothing changes them.
  bool IsReadOnly() const { return read_only_; }

  // Which class of the tree this object is, so typed lookups need no dynamic_cast.
  enum class Kind : uint8_t { kPlain, kList, kSection, kValue, kItem };
  Kind kind() const { return kind_; }

 protected:
  // For the shared missing objects: constant-initialised so they are usable from any static
  // initialiser and any thread.
  constexpr NamedObject(Kind kind, bool read_only) : kind_(kind), read_only_(read_only) {}
  NamedObject(Kind kind, std::string_view name);
  // Copies name, kind and read-only mark; the copy belongs to no list.
  NamedObject(const NamedObject& other);

 private:
  friend class NamedList;
  friend class NodeArena;

  // Short names live inside the object: one allocation less per node, and a lookup that reaches
  // the object has its name on the same cache line.
  static constexpr size_t kInlineName = 16;
  enum NameForm : uint8_t { kNoName, kInline, kHeap };

  // Copies `text` up to its first zero byte as the name of an object that has none.
  void AssignName(std::string_view text);
  // AssignName for a text that holds no zero byte.
  void AssignCutName(std::string_view text);
  void FreeName();

  union Name {
    char inline_text[kInlineName];  // a name shorter than kInlineName, zero-terminated
    char* heap;                     // a longer name, owned
  } name_ = {};
  NamedList* owner_ = nullptr;  // the list holding this object, for renames
  Kind kind_ = Kind::kPlain;
  bool read_only_ : 1 = false;
  bool in_arena_ : 1 = false;  // made in a NodeArena: deleting it frees no memory
  bool folded_ : 1 = false;    // a value keeping its one item in place (see TreeValue)
  // A list's array of slots was made in the tree's arena, which frees it (see NamedList).
  bool slots_in_arena_ : 1 = false;
  NameForm name_form_ = kNoName;

 protected:
  // One byte a subclass keeps for itself (an item its type, a section its file-backed mark),
  // declared last so that it fills what would be padding. Copied with the object.
  uint8_t subclass_byte_ = 0;
};

}  // namespace vard

#endif  // VARDOMAR_TREE_NAMED_OBJECT_H_
