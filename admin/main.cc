// vardadmin: the global administrator's CGI program, run by the web server once per request.
#include "admin/page_main.h"
#include "cgi/request.h"

int main(int argc, char** argv, char** envp) {
  return vard::ReadRequest(argc, argv, envp, vard::AdminPageMain);
}
