// vardadmin's action table: the configuration location page for the empty action, then the
// general options, Windows accounts, authorities, bindings, users and the log viewer. Not
// thread-safe (one request, one thread).
#ifndef VARDOMAR_ADMIN_DISPATCHER_H_
#define VARDOMAR_ADMIN_DISPATCHER_H_

#include "cgi/action.h"

namespace vard {

// The action table, in its fixed order.
const ActionTable& AdminActions();

}  // namespace vard

#endif  // VARDOMAR_ADMIN_DISPATCHER_H_
