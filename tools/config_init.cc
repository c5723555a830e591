#include "tools/config_init.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "schema/names.h"
#include "tree/tree_node.h"

namespace vard {

int InitConfigFile(const std::string& path, std::string* error, std::string_view event_log) {
  struct stat st;
  if (lstat(path.c_str(), &st) == 0) {
    *error = path + ": already exists; not overwritten";
    return 0;
  }
  // Written completely under a private name first, then given its real name with link(), which
  // fails instead of replacing a file that appeared in the meantime.
  const std::string temp = path + ".vardcfg-init." + std::to_string(getpid());
  TreeSection root(temp, true);
  TreeSection* const main_section = root.OpenSection(kMain);
  if (!event_log.empty()) main_section->AddString(kLog, event_log);
  main_section->OpenSection(kServers);
  root.AddSection(kNtAccounts);
  root.AddSection(kAccounts);
  if (root.SaveFile() != 1) {
    *error = path + ": cannot write: " + std::strerror(errno);
    unlink(temp.c_str());
    return 0;
  }
  const int linked = link(temp.c_str(), path.c_str());
  const int link_errno = errno;
  unlink(temp.c_str());
  if (linked != 0) {
    *error = link_errno == EEXIST ? path + ": already exists; not overwritten"
                                  : path + ": cannot create: " + std::strerror(link_errno);
    return 0;
  }
  return 1;
}

}  // namespace vard
