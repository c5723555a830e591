// The handlers of vardadmin's action table, one function per action, named like the action.
// Each takes the configuration root, FormFields and QueryFields, writes into the content cell
// and returns 1 (see cgi/action.h). Not thread-safe (one request, one thread).
#ifndef VARDOMAR_ADMIN_ACTIONS_H_
#define VARDOMAR_ADMIN_ACTIONS_H_

#include "cgi/action.h"
#include "cgi/request.h"
#include "tree/tree_node.h"

namespace vard {

// General options (admin/location_pages.cc).
int MainScreen(TreeSection* root, FieldSet& form, FieldSet& query);
int MainScreenDo(TreeSection* root, FieldSet& form, FieldSet& query);

// Windows accounts (admin/ntaccount_pages.cc).
int NTAccAdd(TreeSection* root, FieldSet& form, FieldSet& query);
int NTAccAddDo(TreeSection* root, FieldSet& form, FieldSet& query);
int NTAccDel(TreeSection* root, FieldSet& form, FieldSet& query);
int NTAccDelDo(TreeSection* root, FieldSet& form, FieldSet& query);
int NTAccPass(TreeSection* root, FieldSet& form, FieldSet& query);
int NTAccPassDo(TreeSection* root, FieldSet& form, FieldSet& query);

// Authorities and the authority chooser (admin/authority_pages.cc).
int AuthAdd(TreeSection* root, FieldSet& form, FieldSet& query);
int AuthAddDo(TreeSection* root, FieldSet& form, FieldSet& query);
int AuthDel(TreeSection* root, FieldSet& form, FieldSet& query);
int AuthDelDo(TreeSection* root, FieldSet& form, FieldSet& query);
int AuthRen(TreeSection* root, FieldSet& form, FieldSet& query);
int AuthRenDo(TreeSection* root, FieldSet& form, FieldSet& query);
int SelectAuthority(TreeSection* root, FieldSet& form, FieldSet& query);

// Site bindings (admin/binding_pages.cc).
int BindAdd(TreeSection* root, FieldSet& form, FieldSet& query);
int BindAddDo(TreeSection* root, FieldSet& form, FieldSet& query);
int BindDel(TreeSection* root, FieldSet& form, FieldSet& query);
int BindDelDo(TreeSection* root, FieldSet& form, FieldSet& query);

// Event log viewer (admin/log_viewer.cc).
int ViewLog(TreeSection* root, FieldSet& form, FieldSet& query);

}  // namespace vard

#endif  // VARDOMAR_ADMIN_ACTIONS_H_
