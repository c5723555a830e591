#include "admin/dispatcher.h"

#include "admin/actions.h"
#include "admin/location_pages.h"
#include "userpages/user_actions.h"
#include "userpages/user_scope.h"

namespace vard {
namespace {

using AdminUserActions = UserActions<AdminUserScope>;

int LocationPage(TreeSection*, FieldSet&, FieldSet&) {
  WriteLocationPage();
  return 1;
}

constexpr Action kNamedActions[] = {
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

const ActionTable& AdminActions() {
  static constexpr ActionTable kActions = {LocationPage, kNamedActions};
  return kActions;
}

}  // namespace vard
