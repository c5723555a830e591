// The request fields of a CGI program: the posted form, the query string and the cookies, each
// read once at start-up into a FieldSet before the program's page function runs.
// Not thread-safe: one process serves one request on one thread; the sets are filled by
// ReadRequest and only read afterwards.
#ifndef VARDOMAR_CGI_REQUEST_H_
#define VARDOMAR_CGI_REQUEST_H_

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "tree/named_list.h"
#include "tree/named_object.h"

namespace vard {

// One value of a request field; its name is the decoded value text (an empty value has no
// name). Owned by the Field that holds it. The three classes here add methods only to their tree
// classes (see NamedObject).
class FieldValue : public NamedObject {
 public:
  explicit FieldValue(std::string_view text = {});
  ~FieldValue();
  std::unique_ptr<NamedObject> Clone() const;

  // The shared empty value, returned by every lookup of a missing value. Never changed.
  static FieldValue Empty;

  // The value text; never null. Every empty result is the one shared empty string
  // (EmptyText()), so `Text() == EmptyText()` and `*Text() == '\0'` are the same test.
  const char* Text() const;
  // The text read as a decimal number in the manner of "%d": leading white space skipped, an
  // optional sign, the digits up to the first non-digit; 0 when there is no number. Numbers
  // beyond the int range are clamped to INT_MIN / INT_MAX.
  int Int() const;
};

// One request field: its name is the decoded field name (as first written), its children the
// distinct values in order of arrival. Owned by its FieldSet.
class Field : public NamedList {
 public:
  explicit Field(std::string_view name = {});
  Field(const Field&) = delete;
  ~Field();
  std::unique_ptr<NamedObject> Clone() const;

  // The shared field returned for a missing name: no name, one empty value. Never changed
  // after ReadRequest has put its value in.
  static Field Empty;

  // The value in 1-based slot `i`, or FieldValue::Empty when there is none. Never null.
  const FieldValue& ValueAt(int i) const;
  // Text and number of the first value (FieldValue::Text / Int of ValueAt(1)).
  const char* Text() const;
  int Int() const;
};

// A set of request fields, at most one per name (compared ignoring case). Owns its fields.
class FieldSet : public NamedList {
 public:
  FieldSet();
  FieldSet(const FieldSet&) = delete;
  ~FieldSet();
  std::unique_ptr<NamedObject> Clone() const;

  // The field whose name equals `name` ignoring case, else Field::Empty. Never null.
  const Field& Get(std::string_view name) const;
  // Adds the decoded pair: the value joins the field of that name (dropped when an equal
  // non-empty value, ignoring case, is already there), or a new field is made for it.
  void AddPair(std::string_view name, std::string_view value);
};

// The one shared empty text that Text() returns for every empty value.
const char* EmptyText();

// The process-wide field sets: the posted body, the query string, the cookies.
FieldSet& FormFields();
FieldSet& QueryFields();
FieldSet& CookieFields();

// --- Building the sets (used by ReadRequest; public so that it can be tested piece by piece).

// A source of pieces: bytes up to `length` taken from a text or a stream, split at `separator`.
// Owns nothing; the text or stream must outlive it.
class PieceSource {
 public:
  // Pieces of `text` (the first `length` bytes; length is clipped to the text).
  PieceSource(std::string_view text, char separator);
  // Pieces of the next `length` bytes of `stream`, read one byte at a time. Reading stops at
  // the end of the stream even when fewer bytes arrived: the piece collected so far counts.
  PieceSource(std::FILE* stream, long length, char separator);

  // Puts the next piece (possibly empty) into `piece` and returns true, or returns false when
  // the source is exhausted.
  bool Next(std::string* piece);

 private:
  std::string_view text_;
  std::FILE* stream_ = nullptr;
  long length_ = 0;
  long cursor_ = 0;
  char separator_;
};

// Splits a piece at its first '=' into the decoded name and value; the value ends at the first
// TAB, CR or LF. Returns 1, or 0 when the piece begins with '=' (no name). A piece is read as a
// C string: a NUL byte ends it. An empty piece gives 1 with an empty name and value.
int SplitField(std::string_view piece, std::string* name, std::string* value);

// Decodes '+' to a space and "%XY" (hex digits, either case) to that byte. The two characters
// after '%' always belong to the escape: "%4g" gives the byte 4 (a single leading hex digit is
// the number), and a '%' not followed by a hex digit gives '%' alone ("%zz" decodes to "%").
// The decoded text ends at a decoded NUL byte.
std::string UrlDecode(std::string_view text);

// Removes leading spaces, TABs, LFs and CRs.
std::string_view TrimLeft(std::string_view text);

// --- The program entry.

// A program's page function: receives main's arguments and the three field sets, returns the
// process exit status.
using PageMainFunction = int (*)(int argc, char** argv, char** envp, FieldSet& form,
                                 FieldSet& query, FieldSet& cookies);

// The raw inputs of a request as the server hands them over; every pointer may be null (absent).
struct RequestInput {
  const char* content_length = nullptr;  // the CONTENT_LENGTH text
  std::FILE* body = nullptr;             // where the body's bytes come from
  const char* query = nullptr;           // QUERY_STRING
  const char* cookie = nullptr;          // HTTP_COOKIE
};

// Reads the body (content_length bytes of `body`; a missing, non-numeric or negative length means
// no body), the query string and the cookies into the three sets.
void ReadRequestFields(const RequestInput& input, FieldSet& form, FieldSet& query,
                       FieldSet& cookies);

// Reads the request (CONTENT_LENGTH bytes of standard input, QUERY_STRING, HTTP_COOKIE) into
// FormFields, QueryFields and CookieFields with ReadRequestFields, then calls `page_main` and
// returns its result.
int ReadRequest(int argc, char** argv, char** envp, PageMainFunction page_main);

}  // namespace vard

#endif  // VARDOMAR_CGI_REQUEST_H_
