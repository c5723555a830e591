// The settings store's "Reload check interval": how long, at most, a web server's filter goes on
// deciding with the configuration it holds before it examines the file for a new version. One
// rule for the filter that reads the value and the tool that writes it. Stateless, thread-safe.
#ifndef VARDOMAR_SCHEMA_RELOAD_CHECK_H_
#define VARDOMAR_SCHEMA_RELOAD_CHECK_H_

#include <cstdint>
#include <string_view>

namespace vard {

// A minute: longer would leave a disabled user in for longer than an administrator expects
// from a "save", and the cost of one examination a minute is nothing at any interval.
inline constexpr int64_t kMaxReloadCheckIntervalMs = 60000;

// Reads `text` as an interval in milliseconds: decimal digits only, 0 (examine on every request)
// to kMaxReloadCheckIntervalMs. true with `ms` set; false (`ms` untouched) for anything else.
bool ParseReloadCheckInterval(std::string_view text, int64_t* ms);

}  // namespace vard

#endif  // VARDOMAR_SCHEMA_RELOAD_CHECK_H_
