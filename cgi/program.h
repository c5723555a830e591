// The skeleton both CGI programs share: guard the request, write the header, locate the
// configuration, lock it, load it, then write the frame around the page the request names. Each
// program fills a CgiProgram with its own pieces. Not thread-safe (one request, one thread).
#ifndef VARDOMAR_CGI_PROGRAM_H_
#define VARDOMAR_CGI_PROGRAM_H_

#include <string_view>

#include "cgi/request.h"
#include "tree/tree_node.h"

namespace vard {

// What makes one program of the skeleton. Every hook but handle_unloaded is required.
struct CgiProgram {
  // Serves an action that needs no configuration (after the header) and returns true; false
  // for every other action. Null when the program has none.
  bool (*handle_unloaded)(std::string_view action, FieldSet& form);
  // Writes the page for a location error (1, 2 or 3, cgi/config_location.h) and returns it.
  int (*write_error_page)(int error);
  // Write the page's head and frame before and after the page.
  void (*write_frame_start)();
  void (*write_frame_end)();
  // Writes the page or runs the operation the request names on the loaded configuration.
  void (*dispatch)(TreeSection* root, FieldSet& form, FieldSet& query);
};

// Runs `program` for one request. Returns 0, or the location error after its error page. A
// request the guard refuses (cgi/request_guard.h) gets its refusal page and 0 before anything is
// read. The configuration lock is held from before the load until the page is complete, so an
// operation's load, change and save are one step.
int RunCgiProgram(const CgiProgram& program, FieldSet& form, FieldSet& query);

}  // namespace vard

#endif  // VARDOMAR_CGI_PROGRAM_H_
