// The top sections of the configuration as the operations write into them: created when a
// configuration made by hand lacks them, silently. Not thread-safe (one request, one thread).
#ifndef VARD_CGI_TOP_SECTION_H_
#define VARD_CGI_TOP_SECTION_H_

#include <string_view>

#include "tree/tree_node.h"

namespace vard {

// The top section `name` of `root` (MAIN, NTACCOUNTS, ACCOUNTS), created when missing so that
// an operation can write into a configuration made by hand. Returns &TreeSection::Null when a
// value of that name stands in the way (then nothing can be added; check IsNull()).
TreeSection* OpenTopSection(TreeSection* root, std::string_view name);

// MAIN / SERVERS, each created when missing; &TreeSection::Null when a value stands in the way.
TreeSection* OpenServersSection(TreeSection* root);

}  // namespace vard

#endif  // VARD_CGI_TOP_SECTION_H_
