#include "filter/server_variable.h"

#include <cstring>

namespace vard {

bool ReadServerVariable(HTTP_FILTER_CONTEXT* request, const char* name, char* buf, uint32_t cap) {
  if (buf == nullptr || cap == 0) return false;
  buf[0] = '\0';
  if (request == nullptr || request->GetServerVariable == nullptr || name == nullptr) return false;
  // The interface takes the name as a writable text; hand it a private copy.
  char name_copy[32];
  const size_t name_length = std::strlen(name);
  if (name_length >= sizeof name_copy) return false;
  std::memcpy(name_copy, name, name_length + 1);
  uint32_t size = cap;
  if (request->GetServerVariable(request, name_copy, buf, &size) == 0 ||
      std::memchr(buf, '\0', cap) == nullptr) {
    buf[0] = '\0';
    return false;
  }
  return true;
}

}  // namespace vard
