#include "admin/page_main.h"

#include <memory>
#include <string_view>

#include "admin/dispatcher.h"
#include "admin/frame.h"
#include "admin/location_pages.h"
#include "cgi/config_location.h"
#include "platform/config_lock.h"
#include "cgi/page.h"
#include "cgi/request_guard.h"
#include "tree/named_object.h"
#include "tree/tree_node.h"

namespace vard {
namespace {

bool IsConfigAction(std::string_view action) { return NamesEqual(action, "Config"); }

}  // namespace

int AdminPageMain(int, char**, char**, FieldSet& form, FieldSet& query, FieldSet&) {
  const char* action = query.Get("Action").Text();
  if (!GuardRequest(action)) return 0;
  WriteHeader("text/html");
  if (IsConfigAction(action)) {
    StoreConfigLocation(form);
    return 0;
  }

  std::unique_ptr<char[]> path;
  if (const int error = ReadConfigLocation(&path)) return WriteLocationErrorPage(error);

  const ConfigLock lock(path.get(), LockModeForAction(action));
  auto root = std::make_unique<TreeSection>(path.get(), true);
  if (!root->LoadFile()) return WriteLocationErrorPage(kConfigNotLoaded);

  WriteAdminFrameStart();
  Dispatch(root.get(), form, query);
  WriteAdminFrameEnd();
  return 0;
}

}  // namespace vard
