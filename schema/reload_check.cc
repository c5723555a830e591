#include "schema/reload_check.h"

namespace vard {

bool ParseReloadCheckInterval(std::string_view text, int64_t* ms) {
  if (text.empty() || text.size() > 6) return false;
  int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value > kMaxReloadCheckIntervalMs) return false;
  *ms = value;
  return true;
}

}  // namespace vard
