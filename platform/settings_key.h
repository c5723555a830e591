// One open key of the settings store: the machine-wide named string values that tell the
// programs where the configuration file and the backup directory are. A SettingsKey is used by
// one thread; separate keys, in one process or many, may work at once: every write is a locked
// read-modify-write that replaces the store file atomically, so a reader sees the old file or the
// new one, never half of one.
#ifndef VARDOMAR_PLATFORM_SETTINGS_KEY_H_
#define VARDOMAR_PLATFORM_SETTINGS_KEY_H_

#include <memory>
#include <string>
#include <string_view>

namespace vard {

// The store file used when the environment variable VARDOMAR_REGISTRY is unset or empty.
inline constexpr char kDefaultRegistryPath[] = "/etc/vardomar/registry";

// The path of the store file: VARDOMAR_REGISTRY, or kDefaultRegistryPath.
std::string RegistryPath();

// The root a key path is taken under. The store keeps machine-wide settings only.
enum class Hive { kLocalMachine };

// A key path such as "Software\\Vendor\\Product" (components separated by backslashes, compared
// ignoring ASCII case) opened in the store. Owned by the one function that opens it, reads or
// writes at once and closes it; nothing else keeps it.
class SettingsKey {
 public:
  // Opens an existing key for reading. IsOpen() is false when the store cannot be read or does
  // not hold the key.
  SettingsKey(Hive hive, std::string_view path);

  // With `create` set, opens the key for writing, first adding it (and so the keys above it) to
  // the store when missing; IsOpen() is false when the store cannot be locked or written. With
  // `create` clear, opens for reading only, like the constructor above.
  SettingsKey(bool create, Hive hive, std::string_view path);

  SettingsKey(const SettingsKey&) = delete;
  SettingsKey& operator=(const SettingsKey&) = delete;
  ~SettingsKey();

  // Whether a key is held. When false every value reads as absent and writes fail.
  bool IsOpen() const;

  // Returns a newly allocated, zero-terminated copy of the value `name` (compared ignoring ASCII
  // case), owned by the caller. Null when the key is not open, the value does not exist, the
  // value holds no bytes at all, or memory runs out. A value written as an empty text is present
  // and reads as "" (not null).
  std::unique_ptr<char[]> ReadString(std::string_view name) const;

  // Stores `text` (up to its first zero byte) as the string value `name`, replacing a value of
  // that name whatever its letter case. Returns 1 on success; 0 when the key is not open or not
  // writable, or the store could not be updated (then the store is unchanged).
  int WriteString(std::string_view name, std::string_view text);

  // Releases the key; afterwards IsOpen() is false. Safe to call more than once.
  void Close();

 private:
  std::string store_path_;
  std::string key_path_;  // normalised: no empty components
  bool open_ = false;
  bool writable_ = false;
};

}  // namespace vard

#endif  // VARDOMAR_PLATFORM_SETTINGS_KEY_H_
