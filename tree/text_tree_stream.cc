// TextTreeStream: opening and closing a stream on a file, a text or a string, and the writer. The
// reader is in text_tree_stream_read.cc, the searches in text_tree_stream_seek.cc.
#include "tree/text_tree_stream.h"

#include <cerrno>
#include <cstdlib>
#include <new>
#include <string>

#include "platform/atomic_file.h"
#include "tree/line_source.h"
#include "tree/named_object.h"

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

}  // namespace vard
