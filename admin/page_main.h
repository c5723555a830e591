// vardadmin's page function: locate and load the configuration, write the frame around the
// one page or operation that the request names. Not thread-safe (one request, one thread).
#ifndef VARDOMAR_ADMIN_PAGE_MAIN_H_
#define VARDOMAR_ADMIN_PAGE_MAIN_H_

#include "cgi/request.h"

namespace vard {

// The page function given to ReadRequest. Writes the whole response. Returns 0, or 1, 2 or 3
// after the location error page (registry key missing, value "Configuration File" missing,
// configuration file not loadable). A request the guard refuses (cgi/request_guard.h) gets its
// refusal page and 0, before anything is read. The action Config stores the location without
// loading. The configuration lock is held from before the load until the tree is deleted.
int AdminPageMain(int argc, char** argv, char** envp, FieldSet& form, FieldSet& query,
                  FieldSet& cookies);

}  // namespace vard

#endif  // VARDOMAR_ADMIN_PAGE_MAIN_H_
