// The names of every section and value of the configuration file and of the settings-store key
// and values that locate it. The one place these names are spelt; every reader and writer uses
// these constants. Constants only: safe from any thread.
#ifndef VARDOMAR_SCHEMA_NAMES_H_
#define VARDOMAR_SCHEMA_NAMES_H_

namespace vard {

// Top-level sections, and the bindings inside MAIN.
inline constexpr char kMain[] = "MAIN";
inline constexpr char kServers[] = "SERVERS";
inline constexpr char kNtAccounts[] = "NTACCOUNTS";
inline constexpr char kAccounts[] = "ACCOUNTS";

// General options under MAIN.
inline constexpr char kDisable[] = "Disable";  // int flag: pass every request on unchanged
inline constexpr char kLog[] = "log";          // string: event log path; empty: no log
// int flag: the pages store a new user password as a hash
inline constexpr char kHashPasswords[] = "HashPasswords";

// Under an authority (a section in ACCOUNTS).
inline constexpr char kExpirationRequired[] = "ExpirationRequired";  // int flag

// Under a user (a section in an authority) and, for kPassword, under an NT account.
inline constexpr char kPassword[] = "Password";          // string, clear text or a hash
inline constexpr char kDoNotMap[] = "DoNotMap";          // int flag
inline constexpr char kMapTo[] = "MapTo";                // string: NT account section name
inline constexpr char kExpireDate[] = "expiredate";      // string: month/day/year; empty: none
inline constexpr char kNoExpiration[] = "noexpiration";  // int flag
inline constexpr char kDisabled[] = "disabled";          // int flag

// The settings-store key (under the local-machine hive) and its two string values.
inline constexpr char kRegistryKey[] = "Software\\Trevalo soft\\Vardomar (Text)";
inline constexpr char kConfigFileValue[] = "Configuration File";
inline constexpr char kBackupDirValue[] = "Backup directory";

}  // namespace vard

#endif  // VARDOMAR_SCHEMA_NAMES_H_
