// TextTreeStream: the indented text file format of the configuration. Lines (N name, I index):
//   "{ N:" / "} N;" open and close a section; "[ N:" or "[ N[I]:", byte lines "%X", "] N;" form a
//   byte block; "(int)N=%d", "(float)N=%f", "(string)N=text", "(double)N=%G", "(int64)N=%lld",
//   each optionally "N[I]". Four spaces of indentation per open section; the reader skips
//   leading blanks, ";" lines and anything else it does not recognise. One thread per stream.
#ifndef VARDOMAR_TREE_TEXT_TREE_STREAM_H_
#define VARDOMAR_TREE_TEXT_TREE_STREAM_H_

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tree/text_format.h"
#include "tree/tree_stream.h"

namespace vard {

class AtomicFile;
class LineSource;

// Limits of the format (tree/text_format.h). The reader ignores a line whose name, type word or
// text passes its limit (reported as kNameTooLong / kTypeTooLong / kTextTooLong). The writer
// refuses (returns 0, and the stream will not replace its target) every entry that the reader
// would read back differently (CheckEntryLine: names and texts, and lines that their indentation
// would make too long), and names the first such entry in RefusalText(). A save therefore never
// produces a file that loads differently from the tree (but for empty texts: "(string)N=" is
// written and not loaded, and reads as empty either way), and no text can inject lines into the
// file.

// Owns its file. Reading: the file opened read-only, or a copy of a text. Writing: an AtomicFile
// that replaces the target, or a text, when the stream is closed (explicitly or by the destructor)
// after writes that all succeeded; after a failed or refused write nothing is replaced.
class TextTreeStream : public TreeStream {
 public:
  // Opens `path` for reading, or prepares its replacement for writing. Check IsOpen().
  TextTreeStream(std::string_view path, bool write);
  // A writer whose Close() stores the written text into `*out` (left alone unless every write
  // succeeded); `out` must outlive the stream.
  explicit TextTreeStream(std::string* out);
  // A writer into `output`, which stays the caller's and must outlive the stream: Close() commits
  // nothing, the caller names the file (AtomicFile::Publish). A failed or refused write is
  // recorded in `output`, so that naming it fails.
  explicit TextTreeStream(AtomicFile& output);
  // A reader of a copy of `text`, as if it were a file's contents. Null when memory is short.
  static std::unique_ptr<TextTreeStream> ReadingText(std::string_view text);
  // The same reader of `text` itself, which must outlive the stream: for a whole configuration
  // file's text, which a copy would double.
  static std::unique_ptr<TextTreeStream> ReadingTextInPlace(std::string_view text);
  // Closes the file (a writer commits unless a write failed).
  ~TextTreeStream() override;

  // Writer: commits the new file. 1 when every write succeeded and the file was replaced; 0
  // otherwise (the target untouched, errno set). Reader: closes the file, 1. Later calls: 0.
  int Close();

  int IsOpen() const override;
  // Reader: the errno of a read that failed and so ended the input before the end of the file;
  // 0 when every read succeeded (or this is a writer).
  int InputError() const;
  int GetCapabilities() const override;

  int BeginSection(std::string_view name) override;
  int EndSection() override;
  int BeginArray(std::string_view name, std::string_view index) override;
  int EndArray() override;
  int WriteBytes(const void* data, int32_t length) override;
  int WriteInt64(std::string_view name, int64_t value, std::string_view index) override;
  int WriteDouble(std::string_view name, double value, std::string_view index) override;
  int WriteString(std::string_view name, std::string_view text, std::string_view index) override;
  int WriteFloat(std::string_view name, float value, std::string_view index) override;
  int WriteInt(std::string_view name, int32_t value, std::string_view index) override;

  int ReadLine() override;
  int ParseLine() override;
  // The name and text of a line are kept as views into the line; the terminated copies the
  // char* forms return are made when first asked for, as most lines are only loaded. A line that
  // is no value line has no text (""). A seek leaves no current entry.
  const char* GetEntryName(const char** index = nullptr) override;
  std::string_view GetEntryNameView(std::string_view* index = nullptr) override;
  int32_t GetEntryInt() const override { return entry_int_; }
  float GetEntryFloat() const override { return entry_float_; }
  const char* GetEntryString() const override;
  std::string_view GetEntryStringView() const override { return entry_text_; }
  double GetEntryDouble() const override { return entry_double_; }
  int64_t GetEntryInt64() const override { return entry_int64_; }
  const char* GetLine() const override;
  int CountArrayLines() override;
  int ReadArrayBlock(void* buffer, int32_t length) override;
  int ReadArrayBytes(void* buffer, int32_t length) override;

  // Random access. The depth D is the number of open sections at the call.
  // Empties both stacks and the open array and goes back to the start of the file: 1.
  int Rewind() override;
  // Enters the next direct child section named `name` (ignoring case): 1. When the current
  // section ends first, goes back to the start of its contents: 0. At the end of the file:
  // Rewind(), 0.
  int FindSection(std::string_view name) override;
  // Like FindSection, but enters the next section open line at any depth.
  int FindNextSection() override;
  // Moves past the close line of the current section: 1; at the end of the file Rewind(), 0.
  int SkipSection() override;
  // Back to the start of the current section's contents: 1; at depth 0 Rewind(), 0.
  int BackToSectionStart() override;
  // Stops at the next value line (codes 6..10) or byte block open (3) at depth D whose unsplit
  // name equals `name` and whose code equals `code` (0: any of them): 1. Otherwise as
  // FindSection.
  int FindValue(std::string_view name, int code) override;
  int FindArray(std::string_view name) override;
  // FindValue with the type's code; on 1 stores the parsed value.
  int ReadInt64(std::string_view name, int64_t* out) override;
  int ReadDouble(std::string_view name, double* out) override;
  int ReadString(std::string_view name, std::unique_ptr<char[]>* out) override;
  int ReadFloat(std::string_view name, float* out) override;
  int ReadInt(std::string_view name, int32_t* out) override;
  // FindArray(name), then ReadArrayBlock: its count, or 0 (also for a null buffer).
  int ReadBytes(std::string_view name, void* buffer, int32_t length) override;
  // Rewind(), then FindSection for each "/"-separated component (empty ones skipped): 1 when all
  // were found.
  int FindPath(std::string_view path) override;

  int LineNumber() const override { return line_number_; }
  WriteProblem WriteBackProblem(int code, std::string_view name,
                                std::string_view index) const override;
  std::string RefusalText() const override { return refusal_; }

 private:
  struct TextSource {
    bool copy;
  };
  TextTreeStream(TextSource source, std::string_view text);
  static std::unique_ptr<TextTreeStream> Reading(TextSource source, std::string_view text);

  struct OpenSection {
    std::string name;
    long offset;      // file offset just after the open line
    int line_number;  // of the open line
  };

  // Writer: indentation, the pieces and a line end; 1 ok, 0 failed (recorded).
  int WriteLine(std::initializer_list<std::string_view> pieces);
  // Writer: one typed value line with its already formatted value text.
  int WriteTyped(const char* type_word, std::string_view name, std::string_view index,
                 std::string_view value);
  // Writer: marks the stream failed (nothing will replace the target) and returns 0; with a
  // problem, the first refused entry is described in refusal_.
  int Refuse(WriteProblem problem = WriteProblem::kNone, std::string_view name = {},
             std::string_view index = {});
  bool Writing() const { return output_ != nullptr || memory_out_ != nullptr; }
  FILE* OutStream() const;
  void NoteWrite(bool ok);
  // Hands the lines gathered in out_lines_ to the output in one call. True when it took them.
  bool FlushLines();

  // Each parses the line form that starts at `p` and ends at `end`, the line's first zero byte or
  // its end.
  int ParseValueLine(const char* p, const char* end);
  int ParseOpenLine(const char* p, const char* end, bool section);
  int ParseCloseLine(const char* p, const char* end, bool section);
  // Converts entry_text_ to the number of a value line of `code` (not a string line). False when
  // it does not convert.
  bool ConvertNumber(int code);
  // Forgets the current entry's name and text.
  void ClearEntry() {
    entry_name_ = {};
    entry_text_ = {};
    name_copied_ = false;
    text_copied_ = false;
  }
  std::string_view LineText() const;
  void ReportHere(LoadProblem problem, std::string_view text);
  void LeaveArray();
  // FindSection (any_section: FindNextSection) and, with `value`, FindValue.
  int SearchForward(std::string_view name, bool any_section, int code, bool value);
  bool SeekTo(long offset, int line_number);

  bool write_;
  std::unique_ptr<LineSource> source_;        // reader: the input while it is open
  std::unique_ptr<AtomicFile> owned_output_;  // writer of its own target
  AtomicFile* output_ = nullptr;              // writer to a file: owned_output_ or the caller's
  FILE* memory_out_ = nullptr;                // writer to a text: an open_memstream over memory_
  char* memory_ = nullptr;
  size_t memory_size_ = 0;
  std::string* memory_target_ = nullptr;
  bool memory_failed_ = false;
  std::string memory_in_;  // reader of a copied text: the copy source_ reads
  std::string refusal_;
  std::string out_lines_;  // writer: lines not yet handed to the output (FlushLines)

  std::string_view piece_;    // reader: the current line, in source_'s buffer
  bool plain_piece_ = false;  // piece_ holds no zero byte and no CR (LineSource::PieceIsPlain)
  // GetLine's terminated copy of piece_, made when first asked for: most lines are parsed only.
  mutable char line_[kMaxLinePiece + 2] = {};
  mutable bool line_copied_ = true;
  std::string_view entry_name_;  // the current line's entry name, unsplit, in piece_
  std::string_view entry_text_;  // the current value line's text, in piece_
  // GetEntryName's terminated copy of entry_name_, which a split with an index cuts.
  char name_[kMaxEntryName + 1] = {};
  size_t name_length_ = 0;  // of name_ up to its first zero byte
  bool name_copied_ = false;
  // GetEntryString's terminated copy of entry_text_.
  mutable char text_[kMaxValueText + 1] = {};
  mutable bool text_copied_ = false;
  int32_t entry_int_ = 0;
  float entry_float_ = 0;
  double entry_double_ = 0;
  int64_t entry_int64_ = 0;

  std::vector<OpenSection> sections_;
  bool array_open_ = false;
  std::string array_name_;  // reader: the open line's text, index included; writer: the name
  int array_line_ = 0;

  long offset_ = 0;  // reader: file offset after the current line
  int line_number_ = 0;
  bool continues_line_ = false;  // the current piece is not the end of its line
  bool long_line_ = false;       // the current piece belongs to an over-long line
  bool counting_ = false;        // CountArrayLines re-reads lines that Load reads again
};

}  // namespace vard

#endif  // VARDOMAR_TREE_TEXT_TREE_STREAM_H_
