#include "cgi/config_location.h"

#include "platform/settings_key.h"
#include "schema/names.h"

namespace vard {

int ReadConfigLocation(std::unique_ptr<char[]>* path) {
  path->reset();
  const SettingsKey key(Hive::kLocalMachine, kRegistryKey);
  if (!key.IsOpen()) return kNoRegistryKey;
  *path = key.ReadString(kConfigFileValue);
  return *path ? 0 : kNoConfigPath;
}

}  // namespace vard
