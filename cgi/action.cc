#include "cgi/action.h"

#include "tree/named_object.h"

namespace vard {

ActionHandler FindAction(const Action* table, int count, std::string_view name) {
  if (name.empty()) return nullptr;
  for (int i = 0; i < count; ++i) {
    if (NamesEqual(table[i].name, name)) return table[i].handler;
  }
  return nullptr;
}

}  // namespace vard
