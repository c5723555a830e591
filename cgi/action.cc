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

ActionHandler FindAction(const Action* table, int count, std::string_view name) {
  if (name.empty()) return nullptr;
  for (int i = 0; i < count; ++i) {
    if (NamesEqual(table[i].name, name)) return table[i].handler;
  }
  return nullptr;
}

}  // namespace vard
