// The configuration writer behind "vardcfg init": a new, empty configuration holding the top
// sections every program expects. No shared state.
#ifndef VARDOMAR_TOOLS_CONFIG_INIT_H_
#define VARDOMAR_TOOLS_CONFIG_INIT_H_

#include <string>
#include <string_view>

namespace vard {

// Writes a new configuration file at `path` with the empty sections MAIN (holding SERVERS, and
// the event log's path when `event_log` is not empty), NTACCOUNTS and ACCOUNTS, readable by its
// owner alone (it will hold passwords). Never replaces or follows an existing file or link, even
// one created at the same moment by someone else: the file appears complete or not at all.
// Returns 1 when written; 0 otherwise, with `error` saying why.
int InitConfigFile(const std::string& path, std::string* error, std::string_view event_log = {});

}  // namespace vard

#endif  // VARDOMAR_TOOLS_CONFIG_INIT_H_
