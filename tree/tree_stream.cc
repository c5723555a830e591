#include "tree/tree_stream.h"

namespace vard {

std::string LoadProblemText(LoadProblem problem) {
  switch (problem) {
    case LoadProblem::kUnrecognised:
      return "line not recognised, ignored";
    case LoadProblem::kMalformed:
      return "malformed line, ignored";
    case LoadProblem::kUnknownType:
      return "unknown value type, line ignored";
    case LoadProblem::kBadNumber:
      return "value is not a number of its type, line ignored";
    case LoadProblem::kEmptyValue:
      return "empty value, not loaded (it reads as empty or 0)";
    case LoadProblem::kNameTooLong:
      return "name longer than " + std::to_string(kMaxEntryName) + " characters, line ignored";
    case LoadProblem::kTypeTooLong:
      return "type word longer than " + std::to_string(kMaxTypeWord) + " characters, line ignored";
    case LoadProblem::kTextTooLong:
      return "value text longer than " + std::to_string(kMaxValueText) +
             " characters, line ignored";
    case LoadProblem::kLineTooLong:
      return "line longer than " + std::to_string(kMaxLineLength) + " characters, read in pieces";
    case LoadProblem::kUnmatchedClose:
      return "close line matches no open section or block, ignored";
    case LoadProblem::kUnclosedSection:
      return "section is never closed, it runs to the end of the file";
    case LoadProblem::kUnclosedArray:
      return "byte block is never closed, it runs to the end of the file";
    case LoadProblem::kNotHexByte:
      return "line in a byte block is not a hexadecimal byte";
    case LoadProblem::kDuplicateItem:
      return "duplicate index for this value, line ignored";
    case LoadProblem::kValueClashesSection:
      return "value has the name of a section, line ignored";
    case LoadProblem::kSectionClashesValue:
      return "section has the name of a value, section skipped with its contents";
    case LoadProblem::kLineInsideArray:
      return "section or block line inside a byte block, read as a byte line";
    case LoadProblem::kNestedTooDeep:
      return "section nested too deep, skipped with its contents";
    case LoadProblem::kNameNotWritable:
      return "name cannot be written back to the file, so every save fails until it is mended";
    case LoadProblem::kLineNotWritable:
      return "nested so deep that its line would be longer than " + std::to_string(kMaxLineLength) +
             " characters when written back, so every save fails until it is mended";
  }
  return "unknown problem";
}

LoadObserver::~LoadObserver() = default;

TreeStream::~TreeStream() = default;

int TreeStream::IsOpen() const { return 0; }
int TreeStream::GetCapabilities() const { return 0; }
int TreeStream::BeginSection(std::string_view) { return 0; }
int TreeStream::EndSection() { return 0; }
int TreeStream::BeginArray(std::string_view, std::string_view) { return 0; }
int TreeStream::EndArray() { return 0; }
int TreeStream::WriteBytes(const void*, int32_t) { return 0; }
int TreeStream::WriteInt64(std::string_view, int64_t, std::string_view) { return 0; }
int TreeStream::WriteDouble(std::string_view, double, std::string_view) { return 0; }
int TreeStream::WriteString(std::string_view, std::string_view, std::string_view) { return 0; }
int TreeStream::WriteFloat(std::string_view, float, std::string_view) { return 0; }
int TreeStream::WriteInt(std::string_view, int32_t, std::string_view) { return 0; }
int TreeStream::ReadLine() { return 0; }
int TreeStream::ParseLine() { return kLineNothing; }
const char* TreeStream::GetEntryName(const char** index) {
  if (index) *index = nullptr;
  return "";
}
std::string_view TreeStream::GetEntryNameView(std::string_view* index) {
  const char* index_text = nullptr;
  const char* name = GetEntryName(index ? &index_text : nullptr);
  if (index) *index = index_text ? index_text : "";
  return name;
}
std::string_view TreeStream::GetEntryStringView() const { return GetEntryString(); }
int32_t TreeStream::GetEntryInt() const { return 0; }
float TreeStream::GetEntryFloat() const { return 0; }
const char* TreeStream::GetEntryString() const { return ""; }
double TreeStream::GetEntryDouble() const { return 0; }
int64_t TreeStream::GetEntryInt64() const { return 0; }
const char* TreeStream::GetLine() const { return ""; }
int TreeStream::CountArrayLines() { return 0; }
int TreeStream::ReadArrayBlock(void*, int32_t) { return 0; }
int TreeStream::ReadArrayBytes(void*, int32_t) { return 0; }
int TreeStream::Rewind() { return 0; }
int TreeStream::ReadBytes(std::string_view, void*, int32_t) { return 0; }
int TreeStream::ReadInt64(std::string_view, int64_t*) { return 0; }
int TreeStream::ReadDouble(std::string_view, double*) { return 0; }
int TreeStream::ReadString(std::string_view, std::unique_ptr<char[]>*) { return 0; }
int TreeStream::ReadFloat(std::string_view, float*) { return 0; }
int TreeStream::ReadInt(std::string_view, int32_t*) { return 0; }
int TreeStream::FindSection(std::string_view) { return 0; }
int TreeStream::FindNextSection() { return 0; }
int TreeStream::SkipSection() { return 0; }
int TreeStream::BackToSectionStart() { return 0; }
int TreeStream::FindValue(std::string_view, int) { return 0; }
int TreeStream::FindArray(std::string_view) { return 0; }
int TreeStream::FindPath(std::string_view) { return 0; }
int TreeStream::LineNumber() const { return 0; }
WriteProblem TreeStream::WriteBackProblem(int, std::string_view, std::string_view) const {
  return WriteProblem::kNone;
}
std::string TreeStream::RefusalText() const { return {}; }

void TreeStream::Report(LoadProblem problem, std::string_view text, int line) const {
  if (observer_ != nullptr) observer_->OnProblem(line > 0 ? line : LineNumber(), problem, text);
}

}  // namespace vard
