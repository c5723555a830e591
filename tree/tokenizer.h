// TokenCursor and Tokenizer: walk a TextString field by field, splitting at a set of delimiter
// bytes, as the log viewer does with comma-separated records. The cursor position lives in the
// attached TextString. Not synchronised: a cursor and its text belong to one thread.
#ifndef VARDOMAR_TREE_TOKENIZER_H_
#define VARDOMAR_TREE_TOKENIZER_H_

#include <cstdint>
#include <memory>

#include "tree/text_string.h"

namespace vard {

// A cursor over one attached text, owned by whoever made it. It either borrows its text (the
// owner of the text keeps it alive while attached) or owns a private copy made by AttachCopy.
// The base has no delimiters: every token operation returns a copy of the whole text. Every
// operation returning a TextString hands a new one to the caller; a result that could not be
// formed (no text, position past the end) has status kInvalid and a null CStr().
class TokenCursor {
 public:
  TokenCursor();
  TokenCursor(const TokenCursor&) = delete;
  TokenCursor& operator=(const TokenCursor&) = delete;
  virtual ~TokenCursor();

  // Make `c` (SetDelimiter) or every byte of `text` (SetDelimiters; null: none) the delimiter
  // set. No effect in the base.
  virtual void SetDelimiter(char c);
  virtual void SetDelimiters(const char* text);

  // The position is a byte index into the text. Without a text SetPosition does nothing and
  // GetPosition is 0.
  virtual void SetPosition(int32_t position);
  virtual void ResetPosition();
  virtual int32_t GetPosition() const;

  // The token at the position, without moving. Base: a copy of the whole text.
  virtual std::unique_ptr<TextString> PeekToken();

  // Drops an owned text and borrows `text` (null: no text). The cursor never frees a text it
  // was given here, so whatever was attached before, `text` stays the caller's.
  virtual void Attach(TextString* text);

  // Drops an owned text and owns a Clone() of `text` (position included).
  virtual void AttachCopy(const TextString& text);

  // Whether a text is attached.
  virtual bool HasText() const;

  // The token from the position up to the next delimiter; the position moves past that
  // delimiter. After the last token the result is invalid.
  virtual std::unique_ptr<TextString> NextToken();

  // The token that ends at the position, going back to the previous delimiter; the position
  // moves before that delimiter.
  virtual std::unique_ptr<TextString> PrevToken();

  // Takes one NextToken for each byte of `chars` in turn, that byte being the only delimiter,
  // then restores position and delimiters and returns the last token taken (null `chars`:
  // PeekToken; empty `chars`: an invalid result).
  virtual std::unique_ptr<TextString> TokenByDelimiters(const char* chars);

  // Token number `n` counting from 0 at the start of the text; the position is left unchanged.
  // Invalid when the text has fewer than n + 1 fields.
  virtual std::unique_ptr<TextString> GetToken(int32_t n);

  // The text from the position (clamped to the text) to its end; owned by the text. Null without
  // a text.
  virtual const char* Remaining() const;

  // Deletes this cursor, which must have been made with new.
  virtual void Destroy();

 protected:
  TextString* text() const { return text_; }

 private:
  TextString* text_ = nullptr;
  std::unique_ptr<TextString> owned_;  // set when text_ is the cursor's own copy
};

// A TokenCursor that splits at a set of delimiter bytes. The terminating zero is never a
// delimiter. Owned by whoever made it.
class Tokenizer : public TokenCursor {
 public:
  // Starts without text and with `delimiters` (null: none) as the delimiter set.
  explicit Tokenizer(const char* delimiters = nullptr);
  ~Tokenizer() override;

  void SetDelimiter(char c) override;
  void SetDelimiters(const char* text) override;
  std::unique_ptr<TextString> PeekToken() override;
  std::unique_ptr<TextString> NextToken() override;
  std::unique_ptr<TextString> PrevToken() override;
  std::unique_ptr<TextString> TokenByDelimiters(const char* chars) override;
  std::unique_ptr<TextString> GetToken(int32_t n) override;

  // Puts the position just after the last delimiter of the text (0 when there is none), so
  // NextToken gives the last field.
  virtual void SeekAfterLastDelimiter();

 private:
  bool IsDelimiter(char c) const;
  // The index of the nearest delimiter from `from` onwards (or backwards): see the .cc.
  int32_t FindDelimiter(bool backward, int32_t from) const;

  TextString delimiters_;
};

}  // namespace vard

#endif  // VARDOMAR_TREE_TOKENIZER_H_
