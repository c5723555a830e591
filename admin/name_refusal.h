// The administration pages' refusal of a new name that the configuration file could not store
// as a section name (a Windows account, an authority), worded the same on every page.
// Writes to standard output; one request, one thread.
#ifndef VARDOMAR_ADMIN_NAME_REFUSAL_H_
#define VARDOMAR_ADMIN_NAME_REFUSAL_H_

#include <string_view>

namespace vard {

// Returns false and writes nothing when `name` can be stored as a section name; otherwise
// writes "<subject> <b>NAME</b> can not be used - ..." (NAME escaped) and returns true.
bool RefuseUnstorableSectionName(std::string_view subject, std::string_view name);

}  // namespace vard

#endif  // VARDOMAR_ADMIN_NAME_REFUSAL_H_
