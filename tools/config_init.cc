#include "tools/config_init.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/atomic_file.h"
#include "platform/env.h"
#include "schema/names.h"
#include "tree/text_tree_stream.h"
#include "tree/tree_node.h"

namespace vard {

int InitConfigFile(const std::string& path, std::string* error, std::string_view event_log) {
  struct stat st;
  if (Env::Default()->LinkStat(path.c_str(), &st) == 0) {
    *error = path + ": already exists; not overwritten";
    return 0;
  }
  // Written completely as a private file first, then given its name with Publish, which fails
  // instead of replacing (or following a link to) a file that appeared in the meantime.
  const size_t slash = path.rfind('/');
  AtomicFile file(AtomicFile::NewFileIn{slash == std::string::npos
                                            ? std::string_view()
                                            : std::string_view(path).substr(0, slash + 1)});
  if (!file.IsOpen()) {
    *error = path + ": cannot write: " + std::strerror(errno);
    return 0;
  }
  TreeSection root("", false);
  TreeSection* const main_section = root.OpenSection(kMain);
  if (!event_log.empty()) main_section->AddString(kLog, event_log);
  main_section->OpenSection(kServers);
  root.AddSection(kNtAccounts);
  root.AddSection(kAccounts);
  {
    TextTreeStream stream(file);
    root.Save(stream);
  }
  if (file.Publish(path) != 1) {
    *error = errno == EEXIST ? path + ": already exists; not overwritten"
                             : path + ": cannot create: " + std::strerror(errno);
    return 0;
  }
  return 1;
}

}  // namespace vard
