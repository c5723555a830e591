// The option lists of the administration pages' selects: one option per child section of a
// configuration section (the Windows accounts, the authorities), value and label alike the
// section's name, in slot order. Writes to standard output; one request, one thread.
#ifndef VARDOMAR_ADMIN_SECTION_OPTIONS_H_
#define VARDOMAR_ADMIN_SECTION_OPTIONS_H_

#include "tree/tree_node.h"

namespace vard {

// Writes "<option value=NAME>NAME</option>" lines for the child sections of `list`, skipping
// holes and values; names are HTML-escaped. A missing section writes nothing.
void WriteSectionOptions(const TreeSection& list);

}  // namespace vard

#endif  // VARDOMAR_ADMIN_SECTION_OPTIONS_H_
