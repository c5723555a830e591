// Test support for the filter's tests: a temporary directory holding a settings store (selected
// through VARDOMAR_REGISTRY), a configuration file, a log and backup directories, and a builder
// for configurations. Sets a process environment variable, so use it from one thread while
// loading the library.
#ifndef VARDOMAR_TESTS_FILTER_SANDBOX_H_
#define VARDOMAR_TESTS_FILTER_SANDBOX_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tree/tree_node.h"

namespace vard::test {

// A user of an authority as the user pages write it.
struct UserEntry {
  std::string name{};
  std::string password{};
  std::string map_to{};  // empty: no MapTo value
  int do_not_map = 0;
  std::string expire_date{};
  int no_expiration = 0;
  int disabled = 0;
};

// A configuration tree in the layout the programs write: MAIN (with SERVERS), NTACCOUNTS and
// ACCOUNTS. Owns its root.
class TestConfig {
 public:
  TestConfig();

  TestConfig& Log(std::string_view path);
  TestConfig& Disable(int flag);
  TestConfig& Bind(std::string_view key, std::string_view authority);
  TestConfig& Authority(std::string_view name, int expiration_required = 0);
  TestConfig& NtAccount(std::string_view name, std::string_view password);
  TestConfig& User(std::string_view authority, const UserEntry& user);
  // The tree, for entries the helpers above do not cover.
  TreeSection& root() { return *root_; }

  // Saves the tree to `path` with the atomic SaveFile the programs use. true on success.
  bool SaveTo(const std::string& path);
  // SaveTo, repeated until the file's last-write time differs from the one it had before (file
  // times advance in clock ticks): a change that even a reader of the time alone would notice.
  bool SaveChangeTo(const std::string& path);

 private:
  std::unique_ptr<TreeSection> root_;
};

// A temporary directory that is removed with everything in it at destruction. The constructor
// points VARDOMAR_REGISTRY at a store inside it and sets "Configuration File" to config_path();
// the destructor unsets the variable.
class FilterSandbox {
 public:
  FilterSandbox();
  ~FilterSandbox();
  FilterSandbox(const FilterSandbox&) = delete;
  FilterSandbox& operator=(const FilterSandbox&) = delete;

  const std::string& dir() const { return dir_; }
  std::string Path(std::string_view name) const { return dir_ + "/" + std::string(name); }
  std::string config_path() const { return Path("vardomar.cfg"); }
  std::string log_path() const { return Path("auth.log"); }

  // Writes a value of the filter's registry key. true on success.
  bool SetRegistry(std::string_view name, std::string_view value);

 private:
  std::string dir_;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);
// The lines of a file, each with its line feed removed.
std::vector<std::string> ReadLines(const std::string& path);
// The names in a directory (no "." or ".."), sorted; empty when it cannot be read.
std::vector<std::string> ListDirectory(const std::string& path);
// Whether something exists at `path`.
bool PathExists(const std::string& path);
// Sets the last-write time of `path` to `seconds` since 1970 (nanoseconds 0). true on success.
bool SetFileTime(const std::string& path, int64_t seconds);

}  // namespace vard::test

#endif  // VARDOMAR_TESTS_FILTER_SANDBOX_H_
