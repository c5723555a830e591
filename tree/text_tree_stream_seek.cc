// TextTreeStream's random access: seeking back, and searching forward for a section, a value
// or a path, with the typed reads by name built on those searches.
#include <cstring>
#include <memory>
#include <string>

#include "tree/line_source.h"
#include "tree/named_object.h"
#include "tree/text_tree_stream.h"

namespace vard {

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
    std::memcpy(out->get(), GetEntryString(), entry_text_.size() + 1);
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
