#include "cgi/request.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "schema/expire_date.h"

namespace vard {
namespace {

const char kEmpty[] = "";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "%d" over a C string, clamped to the int range instead of overflowing; 0 without a number.
int ScanInt(const char* text) {
  std::string_view rest(text);
  int value = 0;
  ScanLeadingInt(&rest, &value);
  return value;
}

}  // namespace

FieldValue FieldValue::Empty;
Field Field::Empty;

const char* EmptyText() { return kEmpty; }

FieldValue::FieldValue(std::string_view text) : NamedObject(text) {}
FieldValue::~FieldValue() = default;

std::unique_ptr<NamedObject> FieldValue::Clone() const {
  const char* name = GetName();
  return std::make_unique<FieldValue>(name ? std::string_view(name) : std::string_view());
}

const char* FieldValue::Text() const {
  const char* name = GetName();
  return name && *name ? name : kEmpty;
}

int FieldValue::Int() const { return ScanInt(Text()); }

Field::Field(std::string_view name) : NamedList(name) {}
Field::~Field() = default;

std::unique_ptr<NamedObject> Field::Clone() const {
  const char* name = GetName();
  auto copy = std::make_unique<Field>(name ? std::string_view(name) : std::string_view());
  for (int i = 1; i <= Count(); ++i) {
    if (At(i)) copy->Add(ValueAt(i).Clone());
  }
  return copy;
}

const FieldValue& Field::ValueAt(int i) const {
  const auto* value = static_cast<const FieldValue*>(At(i));
  return value ? *value : FieldValue::Empty;
}

const char* Field::Text() const { return ValueAt(1).Text(); }
int Field::Int() const { return ValueAt(1).Int(); }

FieldSet::FieldSet() = default;
FieldSet::~FieldSet() = default;

std::unique_ptr<NamedObject> FieldSet::Clone() const {
  auto copy = std::make_unique<FieldSet>();
  for (int i = 1; i <= Count(); ++i) {
    if (const auto* field = static_cast<const Field*>(At(i))) copy->Add(field->Clone());
  }
  return copy;
}

const Field& FieldSet::Get(std::string_view name) const {
  const auto* field = static_cast<const Field*>(Find(name));
  return field ? *field : Field::Empty;
}

void FieldSet::AddPair(std::string_view name, std::string_view value) {
  auto field_value = std::make_unique<FieldValue>(value);
  if (auto* field = static_cast<Field*>(Find(name))) {
    field->Add(std::move(field_value));
    return;
  }
  auto field = std::make_unique<Field>(name);
  field->Add(std::move(field_value));
  Add(std::move(field));
}

FieldSet& FormFields() {
  static FieldSet set;
  return set;
}

FieldSet& QueryFields() {
  static FieldSet set;
  return set;
}

FieldSet& CookieFields() {
  static FieldSet set;
  return set;
}

PieceSource::PieceSource(std::string_view text, char separator)
    : text_(text), length_(static_cast<long>(text.size())), separator_(separator) {}

PieceSource::PieceSource(std::FILE* stream, long length, char separator)
    : stream_(stream), length_(length > 0 ? length : 0), separator_(separator) {}

bool PieceSource::Next(std::string* piece) {
  piece->clear();
  if (cursor_ >= length_) return false;
  bool took_any = false;
  while (cursor_ < length_) {
    int c;
    if (stream_) {
      c = std::getc(stream_);
      if (c == EOF) {
        // The body ended before CONTENT_LENGTH bytes: nothing more will come, but what was
        // collected so far is a piece like any other.
        length_ = cursor_;
        return took_any;
      }
    } else {
      c = static_cast<unsigned char>(text_[cursor_]);
    }
    ++cursor_;
    took_any = true;
    if (c == separator_) break;
    piece->push_back(static_cast<char>(c));
  }
  return true;
}

int SplitField(std::string_view piece, std::string* name, std::string* value) {
  name->clear();
  value->clear();
  // The piece is a C string to the splitter: a raw NUL ends it.
  piece = piece.substr(0, piece.find('\0'));
  const size_t equals = piece.find('=');
  const std::string_view raw_name = piece.substr(0, equals);
  if (raw_name.empty() && !piece.empty()) return 0;
  std::string_view raw_value;
  if (equals != std::string_view::npos) {
    raw_value = piece.substr(equals + 1);
    raw_value = raw_value.substr(0, raw_value.find_first_of("\t\r\n"));
  }
  *name = UrlDecode(raw_name);
  *value = UrlDecode(raw_value);
  return 1;
}

std::string UrlDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out.push_back(' ');
    } else if (c == '%') {
      // The two characters after '%' belong to the escape whatever they are (fewer at the end of
      // the text): one or two leading hex digits give the byte, as "%2X" reads them; without a
      // leading hex digit the '%' stands for itself.
      const std::string_view escape = text.substr(i + 1, 2);
      const int high = escape.empty() ? -1 : HexDigit(escape[0]);
      const int low = escape.size() < 2 ? -1 : HexDigit(escape[1]);
      if (high < 0) {
        out.push_back('%');
      } else {
        out.push_back(static_cast<char>(low < 0 ? high : high * 16 + low));
      }
      i += escape.size();
    } else {
      out.push_back(c);
    }
  }
  // The decoded text is used as a C string: an escaped NUL ends it.
  out.resize(std::min(out.size(), out.find('\0')));
  return out;
}

std::string_view TrimLeft(std::string_view text) {
  size_t n = 0;
  while (n < text.size() &&
         (text[n] == ' ' || text[n] == '\t' || text[n] == '\n' || text[n] == '\r')) {
    ++n;
  }
  return text.substr(n);
}

namespace {

void ReadPieces(PieceSource& source, FieldSet& set, bool trim_names) {
  std::string piece, name, value;
  while (source.Next(&piece)) {
    if (!SplitField(piece, &name, &value)) continue;
    set.AddPair(trim_names ? TrimLeft(name) : std::string_view(name), value);
  }
}

}  // namespace

void ReadRequestFields(const RequestInput& input, FieldSet& form, FieldSet& query,
                       FieldSet& cookies) {
  const long body_length = input.content_length ? ScanInt(input.content_length) : 0;
  if (Field::Empty.Count() == 0) Field::Empty.Add(std::make_unique<FieldValue>());

  if (body_length > 0 && input.body != nullptr) {
    PieceSource body(input.body, body_length, '&');
    ReadPieces(body, form, false);
  }
  if (input.query && *input.query) {
    PieceSource pieces(input.query, '&');
    ReadPieces(pieces, query, false);
  }
  if (input.cookie && *input.cookie) {
    // A cookie header separates its pairs with "; ", so every name after the first would
    // otherwise begin with a space.
    PieceSource pieces(input.cookie, ';');
    ReadPieces(pieces, cookies, true);
  }
}

int ReadRequest(int argc, char** argv, char** envp, PageMainFunction page_main) {
  RequestInput input;
  input.content_length = std::getenv("CONTENT_LENGTH");
  input.body = stdin;
  input.query = std::getenv("QUERY_STRING");
  input.cookie = std::getenv("HTTP_COOKIE");
  ReadRequestFields(input, FormFields(), QueryFields(), CookieFields());
  return page_main(argc, argv, envp, FormFields(), QueryFields(), CookieFields());
}

}  // namespace vard
