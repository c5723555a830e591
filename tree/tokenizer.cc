#include "tree/tokenizer.h"

#include <algorithm>
#include <cstring>

namespace vard {
namespace {

std::unique_ptr<TextString> InvalidToken() {
  return std::make_unique<TextString>(TextString::kInvalid);
}

// Token arithmetic mixes positions that callers may have set anywhere in the int32 range, so it
// is done in 64 bits and brought back into range before a Substring.
int32_t ClampToInt32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

TokenCursor::TokenCursor() = default;
TokenCursor::~TokenCursor() = default;

void TokenCursor::SetDelimiter(char) {}
void TokenCursor::SetDelimiters(const char*) {}

void TokenCursor::SetPosition(int32_t position) {
  if (text_ != nullptr) text_->set_position(position);
}

void TokenCursor::ResetPosition() { SetPosition(0); }

int32_t TokenCursor::GetPosition() const { return text_ != nullptr ? text_->position() : 0; }

std::unique_ptr<TextString> TokenCursor::PeekToken() {
  if (text_ == nullptr) return InvalidToken();
  return std::make_unique<TextString>(*text_);
}

void TokenCursor::Attach(TextString* text) {
  owned_.reset();
  text_ = text;
}

void TokenCursor::AttachCopy(const TextString& text) {
  owned_ = text.Clone();
  text_ = owned_.get();
}

bool TokenCursor::HasText() const { return text_ != nullptr; }

std::unique_ptr<TextString> TokenCursor::NextToken() { return PeekToken(); }
std::unique_ptr<TextString> TokenCursor::PrevToken() { return PeekToken(); }
std::unique_ptr<TextString> TokenCursor::TokenByDelimiters(const char*) { return PeekToken(); }
std::unique_ptr<TextString> TokenCursor::GetToken(int32_t) { return PeekToken(); }

const char* TokenCursor::Remaining() const {
  if (text_ == nullptr) return nullptr;
  const char* data = text_->CStr();
  if (data == nullptr) return "";
  return data + std::clamp<int32_t>(text_->position(), 0, text_->Length());
}

void TokenCursor::Destroy() { delete this; }

Tokenizer::Tokenizer(const char* delimiters) : delimiters_(delimiters) {}
Tokenizer::~Tokenizer() = default;

void Tokenizer::SetDelimiter(char c) {
  const char text[2] = {c, '\0'};
  delimiters_.Reset(text);
}

void Tokenizer::SetDelimiters(const char* text) { delimiters_.Reset(text); }

bool Tokenizer::IsDelimiter(char c) const {
  const int32_t count = delimiters_.Length();
  return c != '\0' && count > 0 && std::memchr(delimiters_.CStr(), c, count) != nullptr;
}

// Forward: the first delimiter at or after `from` (a negative `from` counts as 0), or Length()
// when there is none; -2 when `from` lies beyond the end. Backward: the last delimiter at or
// before `from` (from the last byte when `from` lies beyond it), or -1 when there is none; -2
// for a negative `from`. -2 as well without a text.
int32_t Tokenizer::FindDelimiter(bool backward, int32_t from) const {
  const TextString* t = text();
  if (t == nullptr) return -2;
  const int32_t length = t->Length();
  if (!backward) {
    if (from < 0) from = 0;
    if (from > length) return -2;
    for (int32_t i = from; i < length; ++i) {
      if (IsDelimiter(t->CharAt(i))) return i;
    }
    return length;
  }
  if (from < 0) return -2;
  for (int32_t i = std::min(from, length - 1); i >= 0; --i) {
    if (IsDelimiter(t->CharAt(i))) return i;
  }
  return -1;
}

std::unique_ptr<TextString> Tokenizer::PeekToken() {
  const int32_t position = GetPosition();
  const int32_t d = FindDelimiter(false, position);
  if (d < -1) return InvalidToken();
  return text()->Substring(position, ClampToInt32(int64_t{d} - position));
}

std::unique_ptr<TextString> Tokenizer::NextToken() {
  const int32_t d = FindDelimiter(false, GetPosition());
  if (d < -1) return InvalidToken();
  const int32_t p = std::min(GetPosition(), text()->Length());
  SetPosition(d + 1);
  return text()->Substring(p, ClampToInt32(int64_t{d} - p));
}

std::unique_ptr<TextString> Tokenizer::PrevToken() {
  const int32_t d = FindDelimiter(true, GetPosition());
  if (d < -1) return InvalidToken();
  const int32_t p = GetPosition();
  SetPosition(d - 1);
  const int32_t start = std::max(d + 1, 0);
  return text()->Substring(start, ClampToInt32(int64_t{p} - start + 1));
}

std::unique_ptr<TextString> Tokenizer::GetToken(int32_t n) {
  if (text() == nullptr) return InvalidToken();
  const int32_t saved = GetPosition();
  ResetPosition();
  for (int32_t i = 0; i < n; ++i) {
    NextToken();
    // Past the end every further token is invalid and the position stays, so a huge n can stop.
    if (GetPosition() > text()->Length()) break;
  }
  std::unique_ptr<TextString> token = NextToken();
  SetPosition(saved);
  return token;
}

std::unique_ptr<TextString> Tokenizer::TokenByDelimiters(const char* chars) {
  if (chars == nullptr) return PeekToken();
  const int32_t saved_position = GetPosition();
  const TextString saved_delimiters(delimiters_);
  std::unique_ptr<TextString> token = InvalidToken();
  for (const char* c = chars; *c != '\0'; ++c) {
    SetDelimiter(*c);
    token = NextToken();
  }
  SetPosition(saved_position);
  delimiters_.Reset(saved_delimiters.CStr());
  return token;
}

void Tokenizer::SeekAfterLastDelimiter() {
  if (text() == nullptr) return;
  const int32_t d = FindDelimiter(true, text()->Length());
  SetPosition(d < -1 ? -1 : d + 1);
}

}  // namespace vard
