// The action table of a CGI program: each entry names an action of the query field `Action`
// and the handler that writes its page or carries out its operation. Plain constant data.
#ifndef VARDOMAR_CGI_ACTION_H_
#define VARDOMAR_CGI_ACTION_H_

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

// True for the names of the operations, the actions that save what they change: names ending
// in "Do", ignoring case.
bool IsOperationName(std::string_view action);

// The configuration lock an action needs: exclusive for the operations, shared for the pages
// that only read.
LockMode LockModeForAction(std::string_view action);

// The handler of the first entry of `table` (of `count` entries) whose name equals `name`
// ignoring case, or null when none does (an empty name never matches).
ActionHandler FindAction(const Action* table, int count, std::string_view name);

}  // namespace vard

#endif  // VARDOMAR_CGI_ACTION_H_
