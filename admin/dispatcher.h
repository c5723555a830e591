// vardadmin's action table and the dispatch rule that picks the one handler of a request.
// Not thread-safe (one request, one thread).
#ifndef VARDOMAR_ADMIN_DISPATCHER_H_
#define VARDOMAR_ADMIN_DISPATCHER_H_

#include <span>

#include "cgi/action.h"
#include "cgi/request.h"
#include "tree/tree_node.h"

namespace vard {

// The action table, in its fixed order.
std::span<const Action> AdminActions();

// Runs the request's action (the text of the query field `Action`) on `root`, which the
// caller owns: the empty action writes the configuration location page; a name of the table
// (ignoring case) runs its handler and returns its result; any other name writes nothing.
// Returns 0 when no handler ran.
int Dispatch(TreeSection* root, FieldSet& form, FieldSet& query);

}  // namespace vard

#endif  // VARDOMAR_ADMIN_DISPATCHER_H_
