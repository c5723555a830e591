// TextString: a small owned, zero-terminated byte string with a validity status and a cursor
// position that a Tokenizer moves. Used outside the tree for short texts (log fields, joined
// keys). Not synchronised: a TextString belongs to one function's work on one thread.
#ifndef VARDOMAR_TREE_TEXT_STRING_H_
#define VARDOMAR_TREE_TEXT_STRING_H_

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vard {

// Owned by whoever holds it; operations that return a new TextString hand it over in a
// unique_ptr. An invalid TextString (status not kValid) reads as null through CStr() and as empty
// through Length().
class TextString {
 public:
  enum Status : int32_t {
    kValid = 0,
    kInvalid = 1,       // construction or copy failed, or made as an error result
    kAppendFailed = 2,  // the last Append ran out of memory; the older data is kept
  };

  // No data, valid.
  TextString();
  // A copy of `text` (no data for null); kInvalid when the copy cannot be allocated.
  explicit TextString(const char* text);
  // No data and the given status, for error results.
  explicit TextString(Status status);
  // Copies the data of `other` only when it is valid; an invalid `other` gives a copy without
  // data and with the same status. The position starts at 0.
  TextString(const TextString& other);
  TextString& operator=(const TextString&) = delete;
  virtual ~TextString();

  // Replaces the data with a copy of `text` (no data for null) and sets status and position to
  // 0. Returns 1; 0 when the copy cannot be allocated (then there is no data and the status is
  // kInvalid).
  virtual int Reset(const char* text);

  // Copies the data (or "" when there is none or the string is invalid) with its terminator into
  // `buffer` of `size` bytes and returns `buffer`. Returns null, writing nothing, when `buffer` is
  // null or `size` is smaller than Length() + 1.
  virtual char* CopyTo(char* buffer, size_t size) const;

  // Whether the status is kValid.
  virtual bool IsValid() const;

  // Length of the data when valid, else 0.
  virtual int32_t Length() const;

  // Replaces the data with a copy of `text`; null leaves no data. Status becomes kValid, or
  // kInvalid when the copy fails. Returns 1, or 0 when the copy failed.
  int Assign(const char* text);

  // Appends `text` to the data (null: nothing happens, status unchanged). Status becomes kValid;
  // on allocation failure the data stays and the status becomes kAppendFailed. Returns 1, or 0
  // when the append failed.
  int Append(const char* text);

  // The data when valid, else null. Owned by this object; valid until it next changes.
  const char* CStr() const;

  // The leading decimal number of the data (leading white space and a sign allowed), clamped to
  // the int32 range; 0 when there is no data or it does not start with a number.
  int32_t ToInt() const;

  // The byte at `i`, or 0 when `i` is outside 0..Length()-1.
  char CharAt(int32_t i) const;

  // A new string of up to `length` bytes from `start`, owned by the caller. A negative `start`
  // counts from the end; a start at or beyond the end, or a negative `length`, gives an empty
  // valid string; a start still negative becomes 0; `length` is cut to what remains. kInvalid
  // (no data) when memory runs out.
  std::unique_ptr<TextString> Substring(int32_t start, int32_t length) const;

  // A new copy with the same data, position and status, owned by the caller.
  std::unique_ptr<TextString> Clone() const;

  Status status() const { return status_; }
  int32_t position() const { return position_; }
  void set_position(int32_t position) { position_ = position; }

 private:
  // Makes the data a copy of the `length` bytes at `text`; false when it cannot be allocated.
  bool CopyIn(const char* text, size_t length);

  std::unique_ptr<char[]> data_;  // null: no data
  int32_t length_ = 0;
  Status status_ = kValid;
  int32_t position_ = 0;
};

}  // namespace vard

#endif  // VARDOMAR_TREE_TEXT_STRING_H_
