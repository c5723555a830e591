// Where the CGI programs find their configuration file: the registry value that names it, and
// the error codes of the page written instead of the frame when it cannot be located or loaded.
// Not thread-safe (one request, one thread).
#ifndef VARDOMAR_CGI_CONFIG_LOCATION_H_
#define VARDOMAR_CGI_CONFIG_LOCATION_H_

#include <memory>

namespace vard {

// The codes shown as "Error: <code>" on that page.
inline constexpr int kNoRegistryKey = 1;
inline constexpr int kNoConfigPath = 2;
inline constexpr int kConfigNotLoaded = 3;

// Reads the path of the configuration file from the value "Configuration File" of the
// program's registry key into `path` (which the caller then owns). Returns 0, or kNoRegistryKey
// when the key cannot be opened, kNoConfigPath when the value is missing; `path` is then null.
int ReadConfigLocation(std::unique_ptr<char[]>* path);

}  // namespace vard

#endif  // VARDOMAR_CGI_CONFIG_LOCATION_H_
