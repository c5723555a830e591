// The top sections of the configuration as every editing program writes into them: created when
// a configuration made by hand lacks them, silently. Pure functions over the caller's tree.
#ifndef VARDOMAR_SCHEMA_TOP_SECTION_H_
#define VARDOMAR_SCHEMA_TOP_SECTION_H_

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

#endif  // VARDOMAR_SCHEMA_TOP_SECTION_H_
