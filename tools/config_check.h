// The configuration checker behind "vardcfg check": loads a configuration file the way every
// program does and lists each line that loads differently from how it looks, plus the top
// sections the programs expect but the file lacks and the entries that load but cannot work
// (references to missing authorities or accounts, unreadable dates, empty passwords). One call per
// file; no shared state.
#ifndef VARDOMAR_TOOLS_CONFIG_CHECK_H_
#define VARDOMAR_TOOLS_CONFIG_CHECK_H_

#include <string>
#include <vector>

namespace vard {

// One thing worth an administrator's attention. `line` is the 1-based line of the file, or 0
// for a finding about the file as a whole (a missing section).
struct ConfigFinding {
  int line = 0;
  std::string message;
};

enum class CheckOutcome {
  kClean = 0,       // loads exactly as it reads, with every top section present
  kProblems = 1,    // `findings` lists what is wrong
  kUnreadable = 2,  // the file could not be read; `error` says why
};

// Checks the configuration file at `path`. Findings come in line order, file-wide ones last
// (missing sections, then the entries that cannot work, in file order).
// The message texts are printable (control bytes shown as \xHH) and one line each.
CheckOutcome CheckConfigFile(const std::string& path, std::vector<ConfigFinding>* findings,
                             std::string* error);

}  // namespace vard

#endif  // VARDOMAR_TOOLS_CONFIG_CHECK_H_
