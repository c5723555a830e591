// TextTreeStream's reader: the source's pieces taken a line at a time, each line parsed into the
// current entry (its name, index, type and value), and byte blocks read line by line. The
// stream's opening, closing and writing are in text_tree_stream.cc, its searches in
// text_tree_stream_seek.cc.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "tree/line_source.h"
#include "tree/named_object.h"
#include "tree/text_tree_stream.h"
#include "tree/tree_item.h"

namespace vard {
namespace {

// "%i" for the common plain decimal of at most nine digits, which needs no scanf call: false for
// any other text, which goes to scanf itself so that octal, hexadecimal, signs and overflow
// behave exactly as the format defines them.
bool ConvertPlainInt(std::string_view text, int32_t* out) {
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  // A lone "0" is the most common value of all (every flag that is off).
  if (text == "0") {
    *out = 0;
    return true;
  }
  if (text.empty() || text.size() > 9 || text[0] < '1' || text[0] > '9') return false;
  int64_t v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *out = static_cast<int32_t>(negative ? -v : v);
  return true;
}

// The type word that starts `rest` when it is spelt as the writer spells it, and its length
// through `length`; kNone for any other spelling. Nearly every line of a file is spelt so, and is
// recognised without the search for ")" and the comparison that ignores case.
ItemType WrittenTypeWord(std::string_view rest, size_t* length) {
  // Each comparison has a constant length, which the compiler turns into a load or two.
  const auto starts = [rest, length](std::string_view word) {
    if (rest.size() < word.size() || std::memcmp(rest.data(), word.data(), word.size()) != 0) {
      return false;
    }
    *length = word.size() - 1;  // without the ")"
    return true;
  };
  if (starts("string)")) return kString;
  if (starts("int)")) return kInt;
  if (starts("int64)")) return kInt64;
  if (starts("double)")) return kDouble;
  if (starts("float)")) return kFloat;
  return kNone;
}

// The type word, in any letter case.
ItemType TypeOfWord(std::string_view word) {
  const auto is = [word](std::string_view candidate) { return NamesEqual(word, candidate); };
  switch (word.size()) {
    case 3:
      return is("int") ? kInt : kNone;
    case 5:
      return is("float") ? kFloat : is("int64") ? kInt64 : kNone;
    case 6:
      return is("string") ? kString : is("double") ? kDouble : kNone;
    default:
      return kNone;
  }
}

// Copies `text` into `buffer` of at least text.size() + 1 bytes, terminated.
void CopyTerminated(std::string_view text, char* buffer) {
  if (!text.empty()) std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
}

// The first `byte` in [begin, end), or `end`.
const char* FindByte(const char* begin, const char* end, char byte) {
  const void* found = std::memchr(begin, byte, static_cast<size_t>(end - begin));
  return found != nullptr ? static_cast<const char*>(found) : end;
}

// `end`, or the line end '\n' before it: a piece holds one, as its last byte.
const char* WithoutNewline(const char* begin, const char* end) {
  return end != begin && end[-1] == '\n' ? end - 1 : end;
}

// The first of `stop`, '\r' and '\n' in [begin, end), or `end`; `plain`: there is no '\r'.
const char* FindFieldEnd(const char* begin, const char* end, char stop, bool plain) {
  const char* field_end = FindByte(begin, WithoutNewline(begin, end), stop);
  return plain ? field_end : FindByte(begin, field_end, '\r');
}

// Past the blanks of "%[ \t\r\n]".
const char* SkipBlanks(const char* p, const char* end) {
  while (p != end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) ++p;
  return p;
}

}  // namespace

int TextTreeStream::ReadLine() {
  piece_ = {};
  line_copied_ = false;
  if (source_ == nullptr) return 0;
  piece_ = source_->NextPiece(kMaxLinePiece);
  plain_piece_ = source_->PieceIsPlain();
  const size_t n = piece_.size();
  if (n == 0) return 0;
  offset_ += static_cast<long>(n);
  const bool first_piece = !continues_line_;
  if (first_piece) ++line_number_;
  continues_line_ = false;
  if (n == kMaxLinePiece && piece_.back() != '\n') {
    const int next = source_->Peek();
    if (next == '\n' && piece_.back() == '\r') {
      source_->Skip();
      // A CR LF line end that straddles the piece limit: a line of 1021 characters is whole, as
      // it is in a file with LF line ends. The source keeps the '\n' right after the piece.
      piece_ = std::string_view(piece_.data(), n + 1);
      ++offset_;
    } else if (next != -1) {
      continues_line_ = true;
    }
  }
  if (first_piece) {
    long_line_ = continues_line_;
    if (long_line_) ReportHere(LoadProblem::kLineTooLong, LineText().substr(0, 60));
  }
  return 1;
}

const char* TextTreeStream::GetLine() const {
  if (!line_copied_) {
    if (!piece_.empty()) std::memcpy(line_, piece_.data(), piece_.size());
    line_[piece_.size()] = '\0';
    line_copied_ = true;
  }
  return line_;
}

std::string_view TextTreeStream::LineText() const {
  std::string_view text = CutAtZero(piece_);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

void TextTreeStream::ReportHere(LoadProblem problem, std::string_view text) {
  // Pieces of an over-long line were reported once as such; CountArrayLines reads lines that
  // the block reader reads again.
  if (observer() == nullptr || counting_) return;
  if (long_line_ && problem != LoadProblem::kLineTooLong) return;
  Report(problem, text);
}

int TextTreeStream::ParseLine() {
  ClearEntry();
  // A zero byte ends the line for every line form.
  const std::string_view line = plain_piece_ ? piece_ : CutAtZero(piece_);
  const char* p = line.data();
  const char* const end = p + line.size();
  if (p == end || *p == '\n' || *p == '\r') return kLineNothing;
  // The indentation, four spaces a level, is most of a deep line: skipped eight at a time, then
  // the odd level's four.
  static constexpr char kEightSpaces[] = "        ";
  while (end - p >= 8 && std::memcmp(p, kEightSpaces, 8) == 0) p += 8;
  if (end - p >= 4 && std::memcmp(p, kEightSpaces, 4) == 0) p += 4;
  while (p != end && (*p == ' ' || *p == '\t')) ++p;
  if (p == end) return kLineOther;
  switch (*p) {
    case '(':
      return ParseValueLine(p, end);
    case ';':
      return kLineNothing;
    case '[':
      return ParseOpenLine(p, end, false);
    case '{':
      return ParseOpenLine(p, end, true);
    case ']':
      return ParseCloseLine(p, end, false);
    case '}':
      return ParseCloseLine(p, end, true);
    default:
      // Byte lines of a block are judged by the block reader; blank lines are no problem.
      if (!array_open_ && *p != '\n' && *p != '\r') {
        ReportHere(LoadProblem::kUnrecognised, LineText());
      }
      return kLineOther;
  }
}

bool TextTreeStream::ConvertNumber(int code) {
  if (code == kLineInt && ConvertPlainInt(entry_text_, &entry_int_)) return true;
  const char* text = GetEntryString();
  switch (code) {
    case kLineInt:
      return std::sscanf(text, "%i", &entry_int_) == 1;
    case kLineFloat:
      return std::sscanf(text, "%f", &entry_float_) == 1;
    case kLineDouble:
      return std::sscanf(text, "%lf", &entry_double_) == 1;
    case kLineInt64:
      return std::sscanf(text, "%" SCNi64, &entry_int64_) == 1;
    default:
      return true;
  }
}

// "(%[^)])%[^=]=%[^\n\r]": a type word, a name and a text, each at least one character.
int TextTreeStream::ParseValueLine(const char* p, const char* end) {
  const char* type = p + 1;
  size_t written_length = 0;
  ItemType item_type = WrittenTypeWord({type, static_cast<size_t>(end - type)}, &written_length);
  const char* type_end = item_type != kNone ? type + written_length : FindByte(type, end, ')');
  if (type_end == type || type_end == end) {
    ReportHere(LoadProblem::kMalformed, LineText());
    return kLineNothing;
  }
  const char* name = type_end + 1;
  const char* name_end = FindByte(name, end, '=');
  if (name_end == name || name_end == end) {
    ReportHere(LoadProblem::kMalformed, LineText());
    return kLineNothing;
  }
  const char* text = name_end + 1;
  const char* text_end = WithoutNewline(text, end);
  if (!plain_piece_) text_end = FindByte(text, text_end, '\r');
  const size_t text_length = static_cast<size_t>(text_end - text);
  if (text_length == 0) {
    ReportHere(LoadProblem::kEmptyValue, LineText());
    return kLineNothing;
  }
  const size_t type_length = static_cast<size_t>(type_end - type);
  if (type_length > kMaxTypeWord) {
    ReportHere(LoadProblem::kTypeTooLong, LineText());
    return kLineNothing;
  }
  const size_t name_length = static_cast<size_t>(name_end - name);
  if (name_length > kMaxEntryName) {
    ReportHere(LoadProblem::kNameTooLong, LineText());
    return kLineNothing;
  }
  if (text_length > kMaxValueText) {
    ReportHere(LoadProblem::kTextTooLong, LineText());
    return kLineNothing;
  }
  if (item_type == kNone) item_type = TypeOfWord({type, type_length});
  if (item_type == kNone) {
    ReportHere(LoadProblem::kUnknownType, LineText());
    return kLineNothing;
  }
  entry_text_ = std::string_view(text, text_length);
  if (item_type != kString && !ConvertNumber(item_type)) {
    ClearEntry();
    ReportHere(LoadProblem::kBadNumber, LineText());
    return kLineNothing;
  }
  entry_name_ = std::string_view(name, name_length);
  return item_type;
}

// "{%[ \t\r\n]%[^:\r\n]" and "[%[ \t\r\n]%[^:\r\n]": at least one blank, then the name.
int TextTreeStream::ParseOpenLine(const char* p, const char* end, bool section) {
  if (array_open_) return kLineNothing;
  const char* blanks = p + 1;
  const char* name = SkipBlanks(blanks, end);
  const char* name_end = FindFieldEnd(name, end, ':', plain_piece_);
  const size_t name_length = static_cast<size_t>(name_end - name);
  if (name == blanks || name_length == 0) {
    ReportHere(LoadProblem::kMalformed, LineText());
    return kLineNothing;
  }
  if (name_length > kMaxEntryName) {
    ReportHere(LoadProblem::kNameTooLong, LineText());
    return kLineNothing;
  }
  entry_name_ = std::string_view(name, name_length);
  if (section) {
    sections_.push_back(OpenSection{std::string(name, name_length), offset_, line_number_});
    return kLineSectionOpen;
  }
  array_open_ = true;
  array_name_.assign(name, name_length);
  array_line_ = line_number_;
  return kLineArrayOpen;
}

// "}%[ \t\r\n]%[^;\r\n]" and "]%[ \t\r\n]%[^;\r\n]": the name must be that of what is open.
int TextTreeStream::ParseCloseLine(const char* p, const char* end, bool section) {
  if (section ? (array_open_ || sections_.empty()) : !array_open_) {
    if (!array_open_) ReportHere(LoadProblem::kUnmatchedClose, LineText());
    return kLineNothing;
  }
  const char* blanks = p + 1;
  const char* name = SkipBlanks(blanks, end);
  const char* name_end = FindFieldEnd(name, end, ';', plain_piece_);
  const size_t name_length = static_cast<size_t>(name_end - name);
  const std::string_view closed(name, name_length);
  bool matches = false;
  if (name != blanks && name_length > 0 && name_length <= kMaxEntryName) {
    if (section) {
      // Saved files close a section with its name as opened: bytes first, then ignoring case.
      const std::string_view open = sections_.back().name;
      matches = closed == open || NamesEqual(closed, open);
    } else {
      // The writer closes a block that carries an index with the bare value name; the full
      // text of the open line is accepted as well.
      const std::string_view open(array_name_);
      matches = NamesEqual(closed, open) || NamesEqual(closed, open.substr(0, open.find('[')));
    }
  }
  if (!matches) {
    if (section) ReportHere(LoadProblem::kUnmatchedClose, LineText());
    return kLineNothing;
  }
  entry_name_ = closed;
  if (section) {
    sections_.pop_back();
    return kLineSectionClose;
  }
  LeaveArray();
  return kLineArrayClose;
}

const char* TextTreeStream::GetEntryName(const char** index) {
  if (!name_copied_) {
    CopyTerminated(entry_name_, name_);
    name_length_ = entry_name_.size();
    name_copied_ = true;
  }
  if (index == nullptr) return name_;
  *index = nullptr;
  char* const end = name_ + name_length_;
  char* open = static_cast<char*>(std::memchr(name_, '[', name_length_));
  if (open == nullptr) return name_;
  char* close = static_cast<char*>(std::memchr(open + 1, ']', static_cast<size_t>(end - open - 1)));
  if (close == nullptr) return name_;
  *open = '\0';
  *close = '\0';
  *index = open + 1;
  name_length_ = static_cast<size_t>(open - name_);
  return name_;
}

std::string_view TextTreeStream::GetEntryNameView(std::string_view* index) {
  const std::string_view name = entry_name_;
  if (index == nullptr) return name;
  *index = {};
  const size_t open = name.find('[');
  if (open == std::string_view::npos) return name;
  const size_t close = name.find(']', open + 1);
  if (close == std::string_view::npos) return name;
  *index = name.substr(open + 1, close - open - 1);
  return name.substr(0, open);
}

const char* TextTreeStream::GetEntryString() const {
  if (!text_copied_) {
    CopyTerminated(entry_text_, text_);
    text_copied_ = true;
  }
  return text_;
}

int TextTreeStream::CountArrayLines() {
  if (!array_open_ || source_ == nullptr) return 0;
  const long offset = offset_;
  const int line_number = line_number_;
  const std::string array_name = array_name_;
  const int array_line = array_line_;
  counting_ = true;
  int count = 0;
  bool closed = false;
  while (ReadLine()) {
    if (ParseLine() == kLineArrayClose) {
      closed = true;
      break;
    }
    ++count;
  }
  counting_ = false;
  if (!closed) Report(LoadProblem::kUnclosedArray, array_name, array_line);
  SeekTo(offset, line_number);
  array_open_ = true;
  array_name_ = array_name;
  array_line_ = array_line;
  return count;
}

int TextTreeStream::ReadArrayBlock(void* buffer, int32_t length) {
  return ReadArrayBytes(buffer, length);
}

int TextTreeStream::ReadArrayBytes(void* buffer, int32_t length) {
  if (!array_open_) return 0;
  uint8_t* bytes = static_cast<uint8_t*>(buffer);
  int scanned = 0;
  while (ReadLine()) {
    if (ParseLine() == kLineArrayClose) break;
    unsigned int value = 0;
    if (std::sscanf(GetLine(), "%X", &value) == 1) {
      if (bytes != nullptr && scanned < length) bytes[scanned] = static_cast<uint8_t>(value);
      ++scanned;
      continue;
    }
    const std::string_view text = LineText();
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
      ReportHere(LoadProblem::kNotHexByte, text);
    } else if (text[first] == '{' || text[first] == '}' || text[first] == '[') {
      ReportHere(LoadProblem::kLineInsideArray, text);
    } else if (text[first] == ']') {
      ReportHere(LoadProblem::kUnmatchedClose, text);
    } else {
      ReportHere(LoadProblem::kNotHexByte, text);
    }
  }
  return scanned;
}

}  // namespace vard
