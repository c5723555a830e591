// The limits of the configuration's text format and the rules that decide whether the writer can
// put an entry into a line that the reader reads back as the same entry. The writer, the loader's
// write-back check and the pages' storability rules all take them from here, so a limit or a
// rule cannot drift apart between them. Constants and pure functions: safe from any thread.
#ifndef VARDOMAR_TREE_TEXT_FORMAT_H_
#define VARDOMAR_TREE_TEXT_FORMAT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace vard {

// A longer name, type word or value text makes the reader ignore the whole line: truncating would
// silently turn one name or password into another.
inline constexpr size_t kMaxEntryName = 255;  // "name" or "name[index]" as it stands in the line
inline constexpr size_t kMaxTypeWord = 255;
inline constexpr size_t kMaxValueText = 511;
// The reader takes a line in pieces of at most kMaxLinePiece characters, its line end included
// (a CR LF line end counts as one character, as LF does), so a line holds at most kMaxLineLength
// characters before its end, indentation included.
inline constexpr size_t kMaxLinePiece = 1022;
inline constexpr size_t kMaxLineLength = kMaxLinePiece - 1;
// The writer indents every line by this many spaces per open section.
inline constexpr size_t kIndentPerLevel = 4;

// Why the writer cannot write an entry so that it reads back the same.
enum class WriteProblem {
  kNone,
  kEmptyName,
  kNameForm,     // a line break, or a character that ends or splits the name on reading
  kNameTooLong,  // over kMaxEntryName, index and brackets included
  kTextForm,     // a line break in a value text
  kTextTooLong,  // over kMaxValueText
  kLineTooLong,  // indented at its depth, the line would pass kMaxLineLength
};

// A fixed English description of `problem` (limits spelt from the constants above).
std::string WriteProblemText(WriteProblem problem);

// The entry kinds a line can hold.
enum class EntryLine { kSection, kByteBlock, kValue };

// Whether the writer can write the open line of a section or byte block, or a value line, at
// `depth` open sections. `index` is an item or block index (empty: none); `typed_text` is for a
// value line everything after the name, "=" excluded, and `type_word` its type ("int",
// "string", ...); both are ignored for the other kinds.
WriteProblem CheckEntryLine(EntryLine kind, size_t depth, std::string_view name,
                            std::string_view index, std::string_view type_word = {},
                            std::string_view typed_text = {});

// `text` in double quotes for a one-line message: control bytes as \xHH, cut after `max`
// characters with "...".
std::string QuoteForMessage(std::string_view text, size_t max = 80);

}  // namespace vard

#endif  // VARDOMAR_TREE_TEXT_FORMAT_H_
