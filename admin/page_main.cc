#include "admin/page_main.h"

#include <string_view>

#include "admin/dispatcher.h"
#include "admin/frame.h"
#include "admin/location_pages.h"
#include "cgi/config_location.h"
#include "cgi/program.h"
#include "tree/named_object.h"
#include "tree/tree_node.h"

namespace vard {
namespace {

// The action Config stores the location, so it must work while there is none to load.
bool HandleUnloaded(std::string_view action, FieldSet& form) {
  if (!NamesEqual(action, "Config")) return false;
  StoreConfigLocation(form);
  return true;
}

void DispatchAdmin(TreeSection* root, FieldSet& form, FieldSet& query) {
  Dispatch(root, form, query);
}

constexpr CgiProgram kAdminProgram = {HandleUnloaded, WriteLocationErrorPage, WriteAdminFrameStart,
                                      WriteAdminFrameEnd, DispatchAdmin};

}  // namespace

int AdminPageMain(int, char**, char**, FieldSet& form, FieldSet& query, FieldSet&) {
  return RunCgiProgram(kAdminProgram, form, query);
}

}  // namespace vard
