// TreeStream: the serialization interface through which a TreeSection saves and loads itself,
// and LoadObserver, through which a loader hears of every line that is read differently from how
// it looks (the configuration checker reports these). A stream serves one thread for one load or
// one save; an observer is called on that thread.
#ifndef VARDOMAR_TREE_TREE_STREAM_H_
#define VARDOMAR_TREE_TREE_STREAM_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "tree/named_object.h"
#include "tree/text_format.h"

namespace vard {

// Codes of TreeStream::ParseLine.
enum LineCode : int {
  kLineNothing = 0,       // empty, comment, unparsable, unmatched close, bad type or number
  kLineSectionOpen = 1,   // the name was pushed
  kLineSectionClose = 2,  // the innermost section was popped
  kLineArrayOpen = 3,
  kLineArrayClose = 4,
  kLineInt = 6,  // codes 6..10 equal the ItemType of the line's item
  kLineFloat = 7,
  kLineString = 8,
  kLineDouble = 9,
  kLineInt64 = 10,
  kLineOther = 11,  // byte lines of an array, blank lines, anything unrecognised
};

// Why a line was ignored or read differently from how it looks.
enum class LoadProblem {
  kUnrecognised,         // no line form at all
  kMalformed,            // starts like a line form but does not match it
  kUnknownType,          // "(word)" names no type
  kBadNumber,            // the value text does not convert to the line's type
  kEmptyValue,           // nothing after "=": the value is not loaded (it reads as empty)
  kNameTooLong,          // entry or section name over kMaxEntryName characters: line ignored
  kTypeTooLong,          // type word over kMaxTypeWord characters: line ignored
  kTextTooLong,          // value text over kMaxValueText characters: line ignored
  kLineTooLong,          // over kMaxLineLength characters: read as several pieces, each a line
  kUnmatchedClose,       // a section or array close that closes nothing open
  kUnclosedSection,      // the file ended inside this section (reported at its open line)
  kUnclosedArray,        // the file ended inside this byte block (reported at its open line)
  kNotHexByte,           // a line in a byte block that is not a hexadecimal number
  kDuplicateItem,        // an item of that index is already in the value: dropped
  kValueClashesSection,  // a value line under the name of a section: dropped
  kSectionClashesValue,  // a section under the name of a value: skipped with its contents
  kLineInsideArray,      // a section or array line inside a byte block (read as a byte line)
  kNestedTooDeep,  // a section nested deeper than the loader allows: skipped with its contents
  // Loaded, but the writer cannot write the entry back (see WriteBackProblem), so every save of
  // the tree fails until the line is mended: its name, or its line once indented.
  kNameNotWritable,
  kLineNotWritable,
};

// A fixed English description of `problem`, e.g. "unmatched close line".
std::string LoadProblemText(LoadProblem problem);

// Receives what a load does with lines that do not load as they look. Owned by the caller, who
// keeps it alive for the load.
class LoadObserver {
 public:
  virtual ~LoadObserver();
  // `line` is the 1-based line number in the file; `text` the offending name or line (without
  // its line end), valid only during the call.
  virtual void OnProblem(int line, LoadProblem problem, std::string_view text) = 0;
};

// The abstract stream, owned by whoever creates it for one load or one save. Its name is the path
// of its file. Every operation of this base reports 0 (or null / empty); implementations
// override what they support. Names and indexes are texts;
// an empty index means "no index".
class TreeStream {
 public:
  TreeStream(const TreeStream&) = delete;
  TreeStream& operator=(const TreeStream&) = delete;
  virtual ~TreeStream();

  // The path of the stream's file (up to its first zero byte), or null when it has none.
  const char* GetName() const { return path_.empty() ? nullptr : path_.c_str(); }

  // 1 while the stream's file is open for its one direction, reading or writing; else 0.
  virtual int IsOpen() const;
  // A constant describing the implementation (15 for the text stream); nothing depends on it.
  virtual int GetCapabilities() const;

  // Writing. Each returns 1 when written, 0 when refused or when the write failed.
  virtual int BeginSection(std::string_view name);
  virtual int EndSection();
  virtual int BeginArray(std::string_view name, std::string_view index);
  virtual int EndArray();
  virtual int WriteBytes(const void* data, int32_t length);
  virtual int WriteInt64(std::string_view name, int64_t value, std::string_view index);
  virtual int WriteDouble(std::string_view name, double value, std::string_view index);
  virtual int WriteString(std::string_view name, std::string_view text, std::string_view index);
  virtual int WriteFloat(std::string_view name, float value, std::string_view index);
  virtual int WriteInt(std::string_view name, int32_t value, std::string_view index);

  // Reading, line by line.
  // Reads the next line; 0 at the end of the file.
  virtual int ReadLine();
  // Classifies the current line (LineCode), keeping what it parsed for the GetEntry operations.
  virtual int ParseLine();
  // The current entry's name (never null). With a non-null `index`, the name is split at its
  // "[index]": the name before "[" is returned and the text between the brackets stored through
  // `index` (null when there are no brackets). Owned by the stream until the next line.
  virtual const char* GetEntryName(const char** index = nullptr);
  // GetEntryName and GetEntryString without a copy: views into the current line, free of zero
  // bytes and valid until the next line. With a non-null `index` the name is split as
  // GetEntryName splits it, `*index` empty when there are no brackets.
  virtual std::string_view GetEntryNameView(std::string_view* index = nullptr);
  virtual std::string_view GetEntryStringView() const;
  virtual int32_t GetEntryInt() const;
  virtual float GetEntryFloat() const;
  virtual const char* GetEntryString() const;  // never null
  virtual double GetEntryDouble() const;
  virtual int64_t GetEntryInt64() const;
  virtual const char* GetLine() const;  // the raw current line; never null
  // Lines between the open array's open and close lines; the position is kept.
  virtual int CountArrayLines();
  // Reads the open array's byte lines up to its close: stores the low 8 bits of each
  // hexadecimal line below `length` into `buffer` (when not null); returns the number of
  // hexadecimal lines, which may exceed `length`.
  virtual int ReadArrayBlock(void* buffer, int32_t length);
  virtual int ReadArrayBytes(void* buffer, int32_t length);

  // Random-access reading: see TextTreeStream for the exact positioning rules.
  virtual int Rewind();
  virtual int ReadBytes(std::string_view name, void* buffer, int32_t length);
  virtual int ReadInt64(std::string_view name, int64_t* out);
  virtual int ReadDouble(std::string_view name, double* out);
  // Stores a newly allocated copy of the text, owned by the caller.
  virtual int ReadString(std::string_view name, std::unique_ptr<char[]>* out);
  virtual int ReadFloat(std::string_view name, float* out);
  virtual int ReadInt(std::string_view name, int32_t* out);
  virtual int FindSection(std::string_view name);
  virtual int FindNextSection();
  virtual int SkipSection();
  virtual int BackToSectionStart();
  virtual int FindValue(std::string_view name, int code);
  virtual int FindArray(std::string_view name);
  virtual int FindPath(std::string_view path);

  // The 1-based number of the current line in the file; 0 before the first line.
  virtual int LineNumber() const;
  // Reading: why this format's writer could not write back the entry of the current line, a
  // section open, value or byte block open (`code` from ParseLine), as the loader stores it:
  // named `name` with item index `index`, at the current depth. kNone when it could (and from
  // this base).
  virtual WriteProblem WriteBackProblem(int code, std::string_view name,
                                        std::string_view index) const;
  // Writing: the first entry the writer refused and why, one line of English naming it by its
  // section path; empty when no entry was refused (and from this base).
  virtual std::string RefusalText() const;

  // Installs the observer that Report() (and the stream's own parsing) tells of problems; null
  // removes it. Not owned.
  void SetObserver(LoadObserver* observer) { observer_ = observer; }
  LoadObserver* observer() const { return observer_; }
  // Tells the observer, if any, of a problem at line `line` (0: the current line).
  void Report(LoadProblem problem, std::string_view text, int line = 0) const;

 protected:
  explicit TreeStream(std::string_view path) : path_(CutAtZero(path)) {}

 private:
  const std::string path_;
  LoadObserver* observer_ = nullptr;
};

}  // namespace vard

#endif  // VARDOMAR_TREE_TREE_STREAM_H_
