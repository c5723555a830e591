#include "admin/dispatcher.h"

#include "admin/actions.h"
#include "admin/location_pages.h"
#include "userpages/user_actions.h"
#include "userpages/user_scope.h"

namespace vard {
namespace {

using AdminUserActions = UserActions<AdminUserScope>;

constexpr Action kActions[] = {
    {"MainScreen", MainScreen},
    {"MainScreenDo", MainScreenDo},
    {"NTAccAdd", NTAccAdd},
    {"NTAccAddDo", NTAccAddDo},
    {"NTAccDel", NTAccDel},
    {"NTAccDelDo", NTAccDelDo},
    {"NTAccPass", NTAccPass},
    {"NTAccPassDo", NTAccPassDo},
    {"AuthAdd", AuthAdd},
    {"AuthAddDo", AuthAddDo},
    {"AuthDel", AuthDel},
    {"AuthDelDo", AuthDelDo},
    {"AuthRen", AuthRen},
    {"AuthRenDo", AuthRenDo},
    {"BindAdd", BindAdd},
    {"BindAddDo", BindAddDo},
    {"BindDel", BindDel},
    {"BindDelDo", BindDelDo},
    {"SelectAuthority", SelectAuthority},
    {"AddUser", AdminUserActions::AddUser},
    {"AddUserDo", AdminUserActions::AddUserDo},
    {"DelUser", AdminUserActions::DelUser},
    {"DelUserDo", AdminUserActions::DelUserDo},
    {"ChangeUser", AdminUserActions::ChangeUser},
    {"ChangeUserDo", AdminUserActions::ChangeUserDo},
    {"EditUser", AdminUserActions::EditUser},
    {"ListAuthority", AdminUserActions::ListAuthority},
    {"ViewLog", ViewLog},
};

}  // namespace

std::span<const Action> AdminActions() { return kActions; }

int Dispatch(TreeSection* root, FieldSet& form, FieldSet& query) {
  const char* action = query.Get("Action").Text();
  if (!*action) WriteLocationPage();
  const ActionHandler handler =
      FindAction(AdminActions().data(), static_cast<int>(AdminActions().size()), action);
  return handler ? handler(root, form, query) : 0;
}

}  // namespace vard
