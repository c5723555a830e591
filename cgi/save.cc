#include "cgi/save.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "cgi/html.h"
#include "cgi/page.h"

namespace vard {

int SaveConfiguration(TreeSection* root) {
  std::string refusal;
  if (root->SaveFile(&refusal)) return 1;
  const int error = errno;
  const char* path = root->GetName();
  Write("Configuration could not be saved - nothing was changed. ");
  WriteEscaped(path ? path : "");
  Write(": ");
  // An entry loaded from a hand-edited file that the format cannot write back fails every save;
  // naming it tells the administrator which line to mend.
  WriteEscaped(refusal.empty() ? std::string(std::strerror(error)) : refusal);
  return 0;
}

}  // namespace vard
