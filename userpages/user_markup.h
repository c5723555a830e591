// Small markup pieces the user and administration pages repeat: hidden fields, buttons and
// options, each escaping the values it carries. Writes to standard output; one request, one thread.
#ifndef VARDOMAR_USERPAGES_USER_MARKUP_H_
#define VARDOMAR_USERPAGES_USER_MARKUP_H_

#include <string_view>

#include "tree/named_object.h"
#include "tree/tree_node.h"

namespace vard {

// A hidden field carrying `value` (escaped).
void WriteHidden(std::string_view name, std::string_view value);
// A text box of size 20 holding `value` (escaped).
void WriteTextBox(std::string_view name, std::string_view value);
// The submit button B1 with `caption`.
void WriteSubmit(std::string_view caption);
// An option whose value and label are `text` (escaped), marked selected when asked.
void WriteOption(std::string_view text, bool selected);
// One unselected option per child section of `list` (the users of an authority, the Windows
// accounts, the authorities), in slot order; holes and values are skipped. A missing section
// writes nothing.
void WriteSectionOptions(const TreeSection& list);

// The object's name, or "" when it has none; never null.
std::string_view NameOf(const NamedObject* object);

}  // namespace vard

#endif  // VARDOMAR_USERPAGES_USER_MARKUP_H_
