// Where the configuration lives (the registry location pages and the Config store) and the
// filter's general options (MainScreen, MainScreenDo; declared in admin/actions.h).
// Not thread-safe (one request, one thread).
#ifndef VARDOMAR_ADMIN_LOCATION_PAGES_H_
#define VARDOMAR_ADMIN_LOCATION_PAGES_H_

#include "admin/actions.h"
#include "cgi/request.h"
#include "tree/tree_node.h"

namespace vard {

// The content of the empty action: where the location is kept and a form to change it,
// prefilled from the registry (empty fields when the key or a value is missing).
void WriteLocationPage();

// The page written right after the header, instead of the frame, when the configuration
// cannot be located or loaded: the error `code` and an empty location form. Returns `code`.
int WriteLocationErrorPage(int code);

// The Config action: stores the form fields `Config` and `Backup` as the registry values,
// creating the key when needed, and writes the one-line result. A `Config` that cannot be a
// configuration (not a full path, not an existing regular file, or a file that is not empty
// yet holds no configuration line) stores nothing: the reason and the form, refilled.
void StoreConfigLocation(FieldSet& form);

}  // namespace vard

#endif  // VARDOMAR_ADMIN_LOCATION_PAGES_H_
