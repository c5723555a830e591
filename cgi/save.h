// The save rule of the CGI operations: write the whole configuration back (atomically) and,
// when that fails, tell the administrator instead of reporting success. Not thread-safe (one
// request, one thread).
#ifndef VARDOMAR_CGI_SAVE_H_
#define VARDOMAR_CGI_SAVE_H_

#include "tree/tree_node.h"

namespace vard {

// Saves `root` with SaveFile. Returns 1 when the file was written. On failure writes
// "Configuration could not be saved - nothing was changed. <path>: <reason>" into the page and
// returns 0 (the reason names the entry when the file format cannot hold one); the old file is left intact and the caller must not write its success message.
int SaveConfiguration(TreeSection* root);

}  // namespace vard

#endif  // VARDOMAR_CGI_SAVE_H_
