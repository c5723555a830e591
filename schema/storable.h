// What the configuration file's text format can store and read back unchanged. The format has no
// escaping, so the pages check names and texts with these predicates before adding them. Pure
// functions: safe from any thread.
#ifndef VARDOMAR_SCHEMA_STORABLE_H_
#define VARDOMAR_SCHEMA_STORABLE_H_

#include <cstddef>
#include <string_view>

namespace vard {

// The longest name (section or value) and the longest value text the reader takes whole.
inline constexpr size_t kMaxStoredName = 255;
inline constexpr size_t kMaxStoredText = 511;

// A section name (an authority, user or NT account): not empty, at most kMaxStoredName bytes, no
// ":" or ";", no control character, and not starting or ending with a space or tab (the reader
// drops leading blanks, and a name differing only in a trailing blank would look like another).
bool IsStorableSectionName(std::string_view name);

// A value name (such as a binding key): not empty, at most kMaxStoredName bytes, no "=", "[",
// "]" or control character.
bool IsStorableValueName(std::string_view name);

// A host for a binding: not empty, no blank, no "|" (it separates the port), and the key it
// makes with any port ("|" and up to five digits) is a storable value name.
bool IsStorableBindingHost(std::string_view host);

// A string value's text: at most kMaxStoredText bytes, no CR, LF or zero byte. An empty text is
// storable in the sense that it reads back as the empty string (as a missing value).
bool IsStorableValueText(std::string_view text);

}  // namespace vard

#endif  // VARDOMAR_SCHEMA_STORABLE_H_
