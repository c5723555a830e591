#include "cgi/program.h"

#include <memory>

#include "cgi/action.h"
#include "cgi/config_location.h"
#include "cgi/page.h"
#include "cgi/request_guard.h"
#include "platform/config_lock.h"
#include "platform/transient_retry.h"

namespace vard {

int RunCgiProgram(const CgiProgram& program, FieldSet& form, FieldSet& query) {
  const std::string_view action = query.Get("Action").Text();
  if (!GuardRequest(action)) return 0;
  WriteHeader("text/html");
  if (program.handle_unloaded != nullptr && program.handle_unloaded(action, form)) return 0;

  std::unique_ptr<char[]> path;
  if (const int error = ReadConfigLocation(&path)) return program.write_error_page(error);
  // Declared before the lock so that it is destroyed after the lock is released: taking apart a
  // tree of a million users is no reason to keep other requests and the filter's reload waiting.
  std::unique_ptr<TreeSection> root;
  const ConfigLock lock(path.get(), LockModeForAction(action));
  // Another server of a farm may be replacing the file on the shared volume this moment; each try
  // starts from an empty tree, since a read that failed part-way leaves what it read added.
  const int loaded = RetryTransientFailure([&] {
    root = std::make_unique<TreeSection>(path.get(), true);
    return root->LoadFile();
  });
  if (loaded == 0) return program.write_error_page(kConfigNotLoaded);

  program.write_frame_start();
  program.dispatch(root.get(), form, query);
  program.write_frame_end();
  return 0;
}

}  // namespace vard
