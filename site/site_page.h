// The page function of the site program: locates and loads the configuration, writes the frame
// with its menu and serves the user pages of the site's authority. Runs once per process, on
// its one thread.
#ifndef VARDOMAR_SITE_SITE_PAGE_H_
#define VARDOMAR_SITE_SITE_PAGE_H_

#include "cgi/request.h"

namespace vard {

// The program's PageMain (see cgi/request.h). Returns 0, or 1, 2 or 3 after the error page when
// the registry key, its value "Configuration File" or the configuration file itself cannot be
// read. A request the guard refuses (cgi/request_guard.h) gets its refusal page and 0, before
// anything is read. The arguments, the environment pointer and the cookies are not used.
int SitePageMain(int argc, char** argv, char** envp, FieldSet& form, FieldSet& query,
                 FieldSet& cookies);

}  // namespace vard

#endif  // VARDOMAR_SITE_SITE_PAGE_H_
