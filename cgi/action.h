// The action table of a CGI program: its start page and the entries that name an action of the
// query field `Action` with the handler that writes its page or carries out its operation, and
// the one rule that picks a request's handler. Plain constant data.
#ifndef VARDOMAR_CGI_ACTION_H_
#define VARDOMAR_CGI_ACTION_H_

#include <span>
#include <string_view>

#include "cgi/request.h"
#include "platform/config_lock.h"
#include "tree/tree_node.h"

namespace vard {

// A page or operation. Receives the loaded configuration root (owned by the program's page
// function), FormFields and QueryFields; writes into the content cell of the frame and returns
// 1. An operation saves the root itself (cgi/save.h) once it gets past its checks.
using ActionHandler = int (*)(TreeSection* root, FieldSet& form, FieldSet& query);

// One entry of an action table; names are at most 31 characters and compared ignoring case.
struct Action {
  const char* name;
  ActionHandler handler;
};

// A program's actions: the page of the empty action and the named ones, in their fixed order.
struct ActionTable {
  ActionHandler start;
  std::span<const Action> actions;
};

// True for the names of the operations, the actions that save what they change: names ending
// in "Do", ignoring case.
bool IsOperationName(std::string_view action);

// The configuration lock an action needs: exclusive for the operations, shared for the pages
// that only read.
LockMode LockModeForAction(std::string_view action);

// The handler `name` runs: the start page for the empty name, else the handler of the first
// entry whose name equals `name` ignoring case, or null when none does.
ActionHandler FindAction(const ActionTable& table, std::string_view name);

// Runs the handler that the request's action (the query field `Action`) names in `table` on
// `root`, which the caller owns, and returns its result; 0, with nothing written, for a name
// the table does not hold.
int RunAction(const ActionTable& table, TreeSection* root, FieldSet& form, FieldSet& query);

}  // namespace vard

#endif  // VARDOMAR_CGI_ACTION_H_
