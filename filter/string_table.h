// The filter library's compiled-in string table: texts looked up by a numeric id, copied into a
// caller's bounded buffer the way the web server's platform reads string resources. Read-only
// data: safe from any thread.
#ifndef VARDOMAR_FILTER_STRING_TABLE_H_
#define VARDOMAR_FILTER_STRING_TABLE_H_

#include <cstddef>

namespace vard {

// The filter's description, shown by the web server in its list of filters.
inline constexpr unsigned kFilterDescriptionString = 101;

// Copies the text of string `id` into `buf`, cut to `cap` - 1 characters, and terminates it.
// Returns the number of characters copied (terminator excluded); 0 when `id` is not in the table
// or `cap` is 0. `buf` holds "" after a 0 whenever cap > 0.
size_t LoadResourceString(unsigned id, char* buf, size_t cap);

}  // namespace vard

#endif  // VARDOMAR_FILTER_STRING_TABLE_H_
