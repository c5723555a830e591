#include "tree/text_format.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace vard {
namespace {

// The characters that end or split a name or text in the file, as bits, so that one pass over a
// name or text finds every one of them: a save checks every line it writes.
enum Special : uint8_t {
  kBreak = 1,  // CR or LF
  kEquals = 2,
  kColon = 4,
  kSemicolon = 8,
  kOpenBracket = 16,
  kCloseBracket = 32,
};

constexpr std::array<uint8_t, 256> kSpecialOf = [] {
  std::array<uint8_t, 256> table{};
  table['\r'] = table['\n'] = kBreak;
  table['='] = kEquals;
  table[':'] = kColon;
  table[';'] = kSemicolon;
  table['['] = kOpenBracket;
  table[']'] = kCloseBracket;
  return table;
}();

// The Special bits of every character of `text`.
uint8_t SpecialsIn(std::string_view text) {
  uint8_t found = 0;
  for (const char c : text) found |= kSpecialOf[static_cast<uint8_t>(c)];
  return found;
}

bool StartsWithBlank(std::string_view text) {
  return !text.empty() && (text[0] == ' ' || text[0] == '\t');
}

// What the reader takes as this name: a section or block name ends at ":" (and its close line's
// at ";"), and the reader drops the blanks before it; a value name ends at "="; every name ends
// at a line break.
WriteProblem CheckName(EntryLine kind, std::string_view name, std::string_view index) {
  if (name.empty()) return WriteProblem::kEmptyName;
  const uint8_t in_name = SpecialsIn(name);
  if (kind == EntryLine::kSection) {
    if ((in_name & (kColon | kSemicolon | kBreak)) || StartsWithBlank(name)) {
      return WriteProblem::kNameForm;
    }
    return name.size() <= kMaxEntryName ? WriteProblem::kNone : WriteProblem::kNameTooLong;
  }
  const uint8_t in_index = SpecialsIn(index);
  if ((in_name & (kEquals | kBreak)) || (in_index & (kCloseBracket | kEquals | kBreak))) {
    return WriteProblem::kNameForm;
  }
  // The reader splits a name at its first "[" and the "]" after it: a "[" reads back as the start
  // of an index when any "]" follows it, the index's own included. A "]" alone, or a "[" with no
  // "]" after it, stays part of the name, as hand-edited files may have it.
  const size_t open = (in_name & kOpenBracket) ? name.find('[') : std::string_view::npos;
  if (open != std::string_view::npos &&
      (!index.empty() || name.find(']', open) != std::string_view::npos)) {
    return WriteProblem::kNameForm;
  }
  if (kind == EntryLine::kByteBlock &&
      (((in_name | in_index) & (kColon | kSemicolon)) || StartsWithBlank(name))) {
    return WriteProblem::kNameForm;
  }
  const size_t length = index.empty() ? name.size() : name.size() + index.size() + 2;
  return length <= kMaxEntryName ? WriteProblem::kNone : WriteProblem::kNameTooLong;
}

std::string Decimal(size_t n) { return std::to_string(n); }

}  // namespace

std::string WriteProblemText(WriteProblem problem) {
  switch (problem) {
    case WriteProblem::kNone:
      return "no problem";
    case WriteProblem::kEmptyName:
      return "the name is empty";
    case WriteProblem::kNameForm:
      return "the name holds a line break or a character that would end it in the file";
    case WriteProblem::kNameTooLong:
      return "the name is longer than " + Decimal(kMaxEntryName) + " characters";
    case WriteProblem::kTextForm:
      return "the text holds a line break";
    case WriteProblem::kTextTooLong:
      return "the text is longer than " + Decimal(kMaxValueText) + " characters";
    case WriteProblem::kLineTooLong:
      return "nested this deep, its line would be longer than " + Decimal(kMaxLineLength) +
             " characters";
  }
  return "unknown problem";
}

WriteProblem CheckEntryLine(EntryLine kind, size_t depth, std::string_view name,
                            std::string_view index, std::string_view type_word,
                            std::string_view typed_text) {
  const WriteProblem name_problem = CheckName(kind, name, index);
  if (name_problem != WriteProblem::kNone) return name_problem;
  const size_t indexed_name = index.empty() ? name.size() : name.size() + index.size() + 2;
  size_t length = 0;
  if (kind == EntryLine::kValue) {
    if (SpecialsIn(typed_text) & kBreak) return WriteProblem::kTextForm;
    if (typed_text.size() > kMaxValueText) return WriteProblem::kTextTooLong;
    length = 1 + type_word.size() + 1 + indexed_name + 1 + typed_text.size();  // (t)n=v
  } else {
    length = 2 + indexed_name + 1;  // "{ n:" or "[ n[i]:"; the close line is no longer
  }
  // Compared by division: a depth this large must not overflow the product.
  if (length > kMaxLineLength || depth > (kMaxLineLength - length) / kIndentPerLevel) {
    return WriteProblem::kLineTooLong;
  }
  return WriteProblem::kNone;
}

std::string QuoteForMessage(std::string_view text, size_t max) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    if (i == max) {
      out += "...";
      break;
    }
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7f) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  out.push_back('"');
  return out;
}

}  // namespace vard
