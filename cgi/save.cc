#include "cgi/save.h"

#include <cerrno>
#include <cstring>

#include "cgi/html.h"
#include "cgi/page.h"

namespace vard {

int SaveConfiguration(TreeSection* root) {
  if (root->SaveFile()) return 1;
  const int error = errno;
  const char* path = root->GetName();
  Write("Configuration could not be saved - nothing was changed. ");
  WriteEscaped(path ? path : "");
  Write(": ");
  WriteEscaped(std::strerror(error));
  return 0;
}

}  // namespace vard
