// What the configuration file's text format can store and read back unchanged. The format has no
// escaping, so the pages check names and texts with these predicates before adding them. Pure
// functions: safe from any thread.
#ifndef VARDOMAR_SCHEMA_STORABLE_H_
#define VARDOMAR_SCHEMA_STORABLE_H_

#include <cstddef>
#include <string_view>

#include "tree/text_format.h"

namespace vard {

// A section name (an authority, user or NT account): not empty, at most kMaxEntryName bytes, no
// ":" or ";", no control character, and not starting with a space or tab (the reader drops
// leading blanks) nor ending with one (a list would show it as the name without the blank, yet
// only the blank form logs on).
bool IsStorableSectionName(std::string_view name);

// A value name (such as a binding key): not empty, at most kMaxEntryName bytes, no "=", "[",
// "]" or control character.
bool IsStorableValueName(std::string_view name);

// A host for a binding: not empty, no blank, no "|" (it separates the port), and the key it
// makes with any port ("|" and up to five digits) is a storable value name.
bool IsStorableBindingHost(std::string_view host);

// A string value's text: at most kMaxValueText bytes, no CR, LF or zero byte. An empty text is
// storable in the sense that it reads back as the empty string (as a missing value).
bool IsStorableValueText(std::string_view text);

}  // namespace vard

#endif  // VARDOMAR_SCHEMA_STORABLE_H_
