#include "cgi/action.h"

#include "tree/named_object.h"

namespace vard {

bool IsOperationName(std::string_view action) {
  const size_t n = action.size();
  return n >= 2 && FoldCase(action[n - 2]) == 'd' && FoldCase(action[n - 1]) == 'o';
}

LockMode LockModeForAction(std::string_view action) {
  return IsOperationName(action) ? LockMode::kExclusive : LockMode::kShared;
}

ActionHandler FindAction(const ActionTable& table, std::string_view name) {
  if (name.empty()) return table.start;
  for (const Action& action : table.actions) {
    if (NamesEqual(action.name, name)) return action.handler;
  }
  return nullptr;
}

int RunAction(const ActionTable& table, TreeSection* root, FieldSet& form, FieldSet& query) {
  const ActionHandler handler = FindAction(table, query.Get("Action").Text());
  return handler != nullptr ? handler(root, form, query) : 0;
}

}  // namespace vard
