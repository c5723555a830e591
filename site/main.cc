// vardsite: the CGI program with which a site's own administrator manages the users of the
// authority bound to that site.
#include "cgi/request.h"
#include "site/site_page.h"

int main(int argc, char** argv, char** envp) {
  return vard::ReadRequest(argc, argv, envp, vard::SitePageMain);
}
