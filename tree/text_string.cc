#include "tree/text_string.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace vard {
namespace {

// Texts longer than an int32 can count are treated like an allocation failure, so Length() and
// positions never overflow.
constexpr size_t kMaxLength = INT32_MAX - 1;

std::unique_ptr<char[]> Allocate(size_t length) {
  if (length > kMaxLength) return nullptr;
  return std::unique_ptr<char[]>(new (std::nothrow) char[length + 1]);
}

}  // namespace

TextString::TextString() = default;

TextString::TextString(const char* text) {
  if (text != nullptr && !CopyIn(text, std::strlen(text))) status_ = kInvalid;
}

TextString::TextString(Status status) : status_(status) {}

TextString::TextString(const TextString& other) {
  if (!other.IsValid()) {
    status_ = other.status_;
  } else if (other.data_ && !CopyIn(other.data_.get(), static_cast<size_t>(other.length_))) {
    status_ = kInvalid;
  }
}

TextString::~TextString() = default;

bool TextString::CopyIn(const char* text, size_t length) {
  std::unique_ptr<char[]> copy = Allocate(length);
  if (!copy) {
    data_.reset();
    length_ = 0;
    return false;
  }
  std::memcpy(copy.get(), text, length);
  copy[length] = '\0';
  data_ = std::move(copy);
  length_ = static_cast<int32_t>(length);
  return true;
}

int TextString::Reset(const char* text) {
  position_ = 0;
  status_ = kValid;
  if (text == nullptr) {
    data_.reset();
    length_ = 0;
    return 1;
  }
  if (!CopyIn(text, std::strlen(text))) {
    status_ = kInvalid;
    return 0;
  }
  return 1;
}

char* TextString::CopyTo(char* buffer, size_t size) const {
  const size_t length = static_cast<size_t>(Length());
  if (buffer == nullptr || size < length + 1) return nullptr;
  if (length > 0) std::memcpy(buffer, data_.get(), length);
  buffer[length] = '\0';
  return buffer;
}

bool TextString::IsValid() const { return status_ == kValid; }

int32_t TextString::Length() const { return IsValid() ? length_ : 0; }

int TextString::Assign(const char* text) {
  data_.reset();
  length_ = 0;
  if (text == nullptr) return 1;
  if (!CopyIn(text, std::strlen(text))) {
    status_ = kInvalid;
    return 0;
  }
  status_ = kValid;
  return 1;
}

int TextString::Append(const char* text) {
  if (text == nullptr) return 1;
  const size_t old_length = data_ ? static_cast<size_t>(length_) : 0;
  const size_t extra = std::strlen(text);
  std::unique_ptr<char[]> joined =
      extra > kMaxLength - old_length ? nullptr : Allocate(old_length + extra);
  if (!joined) {
    status_ = kAppendFailed;
    return 0;
  }
  if (old_length > 0) std::memcpy(joined.get(), data_.get(), old_length);
  std::memcpy(joined.get() + old_length, text, extra);
  joined[old_length + extra] = '\0';
  data_ = std::move(joined);
  length_ = static_cast<int32_t>(old_length + extra);
  status_ = kValid;
  return 1;
}

const char* TextString::CStr() const { return IsValid() ? data_.get() : nullptr; }

int32_t TextString::ToInt() const {
  const char* text = CStr();
  if (text == nullptr) return 0;
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (end == text) return 0;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

char TextString::CharAt(int32_t i) const {
  return (i >= 0 && i < Length()) ? data_[static_cast<size_t>(i)] : '\0';
}

std::unique_ptr<TextString> TextString::Substring(int32_t start, int32_t length) const {
  const int32_t total = Length();
  if (start < 0) start += total;
  if (start >= total || length < 0) return std::make_unique<TextString>("");
  if (start < 0) start = 0;
  if (length > total - start) length = total - start;
  auto result = std::make_unique<TextString>();
  if (!result->CopyIn(data_.get() + start, static_cast<size_t>(length))) {
    result->status_ = kInvalid;
  }
  return result;
}

std::unique_ptr<TextString> TextString::Clone() const {
  auto copy = std::make_unique<TextString>(status_);
  if (data_ && !copy->CopyIn(data_.get(), static_cast<size_t>(length_))) {
    copy->status_ = kInvalid;
  }
  copy->position_ = position_;
  return copy;
}

}  // namespace vard
