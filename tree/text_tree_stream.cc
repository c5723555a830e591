#include "tree/text_tree_stream.h"

#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "platform/atomic_file.h"
#include "tree/line_source.h"
#include "tree/named_object.h"
#include "tree/tree_item.h"

namespace vard {
namespace {

constexpr int kCapabilities = 15;

// The value texts the writer puts after "=": the reader's conversion gives back the same value.
std::string FormatInt(int32_t value) { return std::to_string(value); }
std::string FormatInt64(int64_t value) { return std::to_string(value); }
std::string FormatDouble(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%G", value);
  return text;
}
std::string FormatFloat(float value) {
  char text[kMaxValueText + 1];
  std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
  return text;
}

const char* TypeWordOf(int code) {
  switch (code) {
    case kLineInt:
      return "int";
    case kLineFloat:
      return "float";
    case kLineDouble:
      return "double";
    case kLineInt64:
      return "int64";
    default:
      return "string";
  }
}

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

TextTreeStream::TextTreeStream(std::string_view path, bool write)
    : TreeStream(path), write_(write) {
  const char* name = GetName();
  if (name == nullptr) {
    errno = ENOENT;
    return;
  }
  if (write_) {
    owned_output_ = std::make_unique<AtomicFile>(name);
    if (!owned_output_->IsOpen()) {
      const int error = errno;
      owned_output_.reset();
      errno = error;
    }
    output_ = owned_output_.get();
    return;
  }
  source_ = LineSource::OpenFile(name);
}

TextTreeStream::TextTreeStream(AtomicFile& output)
    : TreeStream(std::string_view()), write_(true), output_(output.IsOpen() ? &output : nullptr) {}

TextTreeStream::TextTreeStream(std::string* out) : TreeStream("text"), write_(true) {
  memory_target_ = out;
  memory_out_ = open_memstream(&memory_, &memory_size_);
}

TextTreeStream::TextTreeStream(TextSource source, std::string_view text)
    : TreeStream("text"), write_(false) {
  if (source.copy) {
    memory_in_ = text;
    text = memory_in_;
  }
  source_.reset(new (std::nothrow) LineSource(text));
}

std::unique_ptr<TextTreeStream> TextTreeStream::Reading(TextSource source, std::string_view text) {
  std::unique_ptr<TextTreeStream> stream(new (std::nothrow) TextTreeStream(source, text));
  if (!stream || !stream->IsOpen()) return nullptr;
  return stream;
}

std::unique_ptr<TextTreeStream> TextTreeStream::ReadingText(std::string_view text) {
  return Reading({.copy = true}, text);
}

std::unique_ptr<TextTreeStream> TextTreeStream::ReadingTextInPlace(std::string_view text) {
  return Reading({.copy = false}, text);
}

TextTreeStream::~TextTreeStream() { Close(); }

int TextTreeStream::Close() {
  if (write_ && Writing()) FlushLines();
  if (write_ && memory_out_ != nullptr) {
    const bool ok = std::fclose(memory_out_) == 0 && !memory_failed_;
    memory_out_ = nullptr;
    if (ok) memory_target_->assign(memory_, memory_size_);
    std::free(memory_);
    memory_ = nullptr;
    if (!ok) errno = EINVAL;
    return ok ? 1 : 0;
  }
  if (write_) {
    if (!Writing()) return 0;
    output_ = nullptr;
    if (!owned_output_) return 1;
    const int ok = owned_output_->Commit();
    const int error = errno;
    owned_output_.reset();
    errno = error;
    return ok;
  }
  if (source_ == nullptr) return 0;
  source_.reset();
  return 1;
}

int TextTreeStream::IsOpen() const { return write_ ? Writing() : source_ != nullptr; }

int TextTreeStream::InputError() const { return source_ ? source_->read_error() : 0; }

int TextTreeStream::GetCapabilities() const { return kCapabilities; }

// ---- Writing ----

FILE* TextTreeStream::OutStream() const { return output_ ? output_->stream() : memory_out_; }

void TextTreeStream::NoteWrite(bool ok) {
  if (output_) output_->NoteResult(ok);
  if (!ok) memory_failed_ = true;
}

int TextTreeStream::Refuse(WriteProblem problem, std::string_view name, std::string_view index) {
  if (output_) output_->Fail(EINVAL);
  memory_failed_ = true;
  if (problem != WriteProblem::kNone && refusal_.empty()) {
    std::string path;
    for (const OpenSection& section : sections_) path += section.name + "/";
    path.append(name);
    if (!index.empty()) path.append("[").append(index).append("]");
    refusal_ = "the entry " + QuoteForMessage(path, 200) +
               " cannot be written back to the file: " + WriteProblemText(problem);
  }
  return 0;
}

bool TextTreeStream::FlushLines() {
  if (out_lines_.empty()) return true;
  const bool ok =
      std::fwrite(out_lines_.data(), 1, out_lines_.size(), OutStream()) == out_lines_.size();
  NoteWrite(ok);
  out_lines_.clear();
  return ok;
}

int TextTreeStream::WriteLine(std::initializer_list<std::string_view> pieces) {
  // Lines gather in one reused buffer that goes to the output in blocks: the save of a large
  // configuration is millions of short lines, and a library call per line cost more than the
  // line. A failed write shows, as with the output's own buffering, when a block is handed over
  // and at Close.
  constexpr size_t kBlockBytes = 64 * 1024;
  out_lines_.append(sections_.size() * kIndentPerLevel, ' ');
  for (std::string_view piece : pieces) out_lines_.append(piece);
  out_lines_.push_back('\n');
  if (out_lines_.size() < kBlockBytes) return 1;
  return FlushLines() ? 1 : 0;
}

int TextTreeStream::BeginSection(std::string_view name) {
  if (!Writing()) return 0;
  name = CutAtZero(name);
  const WriteProblem problem = CheckEntryLine(EntryLine::kSection, sections_.size(), name, {});
  if (problem != WriteProblem::kNone) return Refuse(problem, name);
  const int ok = WriteLine({"{ ", name, ":"});
  sections_.push_back(OpenSection{std::string(name), 0, 0});
  return ok;
}

int TextTreeStream::EndSection() {
  if (!Writing()) return 0;
  if (sections_.empty()) return Refuse();
  const std::string name = std::move(sections_.back().name);
  sections_.pop_back();
  return WriteLine({"} ", name, ";"});
}

int TextTreeStream::BeginArray(std::string_view name, std::string_view index) {
  if (!Writing()) return 0;
  name = CutAtZero(name);
  index = CutAtZero(index);
  if (array_open_) return Refuse();
  const WriteProblem problem = CheckEntryLine(EntryLine::kByteBlock, sections_.size(), name, index);
  if (problem != WriteProblem::kNone) return Refuse(problem, name, index);
  const int ok =
      index.empty() ? WriteLine({"[ ", name, ":"}) : WriteLine({"[ ", name, "[", index, "]:"});
  array_open_ = true;
  array_name_.assign(name);
  return ok;
}

int TextTreeStream::EndArray() {
  if (!Writing()) return 0;
  if (!array_open_) return Refuse();
  const int ok = WriteLine({"] ", array_name_, ";"});
  LeaveArray();
  return ok;
}

int TextTreeStream::WriteBytes(const void* data, int32_t length) {
  if (!Writing()) return 0;
  if (data == nullptr) return Refuse();
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  int ok = 1;
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (int32_t i = 0; i < length && ok; ++i) {
    // "%X": upper-case hexadecimal without leading zeros.
    const char digits[2] = {kHex[bytes[i] >> 4], kHex[bytes[i] & 15]};
    ok = WriteLine({bytes[i] < 16 ? std::string_view(digits + 1, 1) : std::string_view(digits, 2)});
  }
  return ok;
}

int TextTreeStream::WriteTyped(const char* type_word, std::string_view name, std::string_view index,
                               std::string_view value) {
  if (!Writing()) return 0;
  name = CutAtZero(name);
  index = CutAtZero(index);
  value = CutAtZero(value);
  const WriteProblem problem =
      CheckEntryLine(EntryLine::kValue, sections_.size(), name, index, type_word, value);
  if (problem != WriteProblem::kNone) return Refuse(problem, name, index);
  if (index.empty()) return WriteLine({"(", type_word, ")", name, "=", value});
  return WriteLine({"(", type_word, ")", name, "[", index, "]=", value});
}

int TextTreeStream::WriteInt64(std::string_view name, int64_t value, std::string_view index) {
  return WriteTyped("int64", name, index, FormatInt64(value));
}

int TextTreeStream::WriteDouble(std::string_view name, double value, std::string_view index) {
  return WriteTyped("double", name, index, FormatDouble(value));
}

int TextTreeStream::WriteFloat(std::string_view name, float value, std::string_view index) {
  return WriteTyped("float", name, index, FormatFloat(value));
}

int TextTreeStream::WriteInt(std::string_view name, int32_t value, std::string_view index) {
  return WriteTyped("int", name, index, FormatInt(value));
}

int TextTreeStream::WriteString(std::string_view name, std::string_view text,
                                std::string_view index) {
  return WriteTyped("string", name, index, text);
}

WriteProblem TextTreeStream::WriteBackProblem(int code, std::string_view name,
                                              std::string_view index) const {
  const size_t depth = sections_.size();
  switch (code) {
    case kLineSectionOpen:
      // The section's own open line has been pushed; it is written one level out.
      return CheckEntryLine(EntryLine::kSection, depth > 0 ? depth - 1 : 0, name, {});
    case kLineArrayOpen:
      return CheckEntryLine(EntryLine::kByteBlock, depth, name, index);
    case kLineInt:
      return CheckEntryLine(EntryLine::kValue, depth, name, index, TypeWordOf(code),
                            FormatInt(entry_int_));
    case kLineFloat:
      return CheckEntryLine(EntryLine::kValue, depth, name, index, TypeWordOf(code),
                            FormatFloat(entry_float_));
    case kLineDouble:
      return CheckEntryLine(EntryLine::kValue, depth, name, index, TypeWordOf(code),
                            FormatDouble(entry_double_));
    case kLineInt64:
      return CheckEntryLine(EntryLine::kValue, depth, name, index, TypeWordOf(code),
                            FormatInt64(entry_int64_));
    case kLineString:
      return CheckEntryLine(EntryLine::kValue, depth, name, index, TypeWordOf(code), entry_text_);
    default:
      return WriteProblem::kNone;
  }
}

// ---- Reading line by line ----

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

// ---- Random access ----

void TextTreeStream::LeaveArray() {
  array_open_ = false;
  array_name_.clear();
}

bool TextTreeStream::SeekTo(long offset, int line_number) {
  if (source_ == nullptr || !source_->SeekTo(offset)) return false;
  offset_ = offset;
  line_number_ = line_number;
  continues_line_ = false;
  long_line_ = false;
  piece_ = {};
  plain_piece_ = false;
  line_copied_ = false;
  ClearEntry();
  return true;
}

int TextTreeStream::Rewind() {
  if (source_ == nullptr) return 0;
  sections_.clear();
  LeaveArray();
  SeekTo(0, 0);
  return 1;
}

int TextTreeStream::SearchForward(std::string_view name, bool any_section, int code, bool value) {
  if (source_ == nullptr) return 0;
  LeaveArray();
  const size_t depth = sections_.size();
  const OpenSection current = depth > 0 ? sections_.back() : OpenSection{};
  while (ReadLine()) {
    const int found = ParseLine();
    if (value) {
      const bool value_line = found == kLineArrayOpen || (found >= kLineInt && found <= kLineInt64);
      if (value_line && sections_.size() == depth && NamesEqual(entry_name_, name) &&
          (code == 0 || code == found)) {
        return 1;
      }
    } else if (found == kLineSectionOpen) {
      if (any_section || (sections_.size() == depth + 1 && NamesEqual(entry_name_, name))) return 1;
    }
    if (found == kLineSectionClose && sections_.size() < depth) {
      // The current section is exhausted: stay in it, at the start of its contents.
      sections_.push_back(current);
      SeekTo(current.offset, current.line_number);
      return 0;
    }
  }
  Rewind();
  return 0;
}

int TextTreeStream::FindSection(std::string_view name) {
  // An empty name matches no section (every section has a name), so the search runs out like
  // any other that finds nothing; only FindNextSection enters whatever section comes next.
  return SearchForward(CutAtZero(name), false, 0, false);
}

int TextTreeStream::FindNextSection() { return SearchForward({}, true, 0, false); }

int TextTreeStream::SkipSection() {
  if (source_ == nullptr) return 0;
  const size_t depth = sections_.size();
  while (ReadLine()) {
    if (ParseLine() == kLineSectionClose && sections_.size() < depth) return 1;
  }
  Rewind();
  return 0;
}

int TextTreeStream::BackToSectionStart() {
  if (source_ == nullptr) return 0;
  if (sections_.empty()) {
    Rewind();
    return 0;
  }
  LeaveArray();
  SeekTo(sections_.back().offset, sections_.back().line_number);
  return 1;
}

int TextTreeStream::FindValue(std::string_view name, int code) {
  return SearchForward(CutAtZero(name), false, code, true);
}

int TextTreeStream::FindArray(std::string_view name) { return FindValue(name, kLineArrayOpen); }

int TextTreeStream::ReadInt64(std::string_view name, int64_t* out) {
  if (!FindValue(name, kLineInt64)) return 0;
  if (out) *out = entry_int64_;
  return 1;
}

int TextTreeStream::ReadDouble(std::string_view name, double* out) {
  if (!FindValue(name, kLineDouble)) return 0;
  if (out) *out = entry_double_;
  return 1;
}

int TextTreeStream::ReadString(std::string_view name, std::unique_ptr<char[]>* out) {
  if (!FindValue(name, kLineString)) return 0;
  if (out) {
    *out = std::make_unique_for_overwrite<char[]>(entry_text_.size() + 1);
    CopyTerminated(entry_text_, out->get());
  }
  return 1;
}

int TextTreeStream::ReadFloat(std::string_view name, float* out) {
  if (!FindValue(name, kLineFloat)) return 0;
  if (out) *out = entry_float_;
  return 1;
}

int TextTreeStream::ReadInt(std::string_view name, int32_t* out) {
  if (!FindValue(name, kLineInt)) return 0;
  if (out) *out = entry_int_;
  return 1;
}

int TextTreeStream::ReadBytes(std::string_view name, void* buffer, int32_t length) {
  if (buffer == nullptr || !FindArray(name)) return 0;
  return ReadArrayBlock(buffer, length);
}

int TextTreeStream::FindPath(std::string_view path) {
  if (!Rewind()) return 0;
  while (!path.empty()) {
    const size_t slash = path.find('/');
    const std::string_view component = path.substr(0, slash);
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    if (component.empty()) continue;
    if (!FindSection(component)) return 0;
  }
  return 1;
}

}  // namespace vard
