#include "tests/filter_sandbox.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/settings_key.h"
#include "schema/names.h"

namespace vard::test {

TestConfig::TestConfig() : root_(std::make_unique<TreeSection>("", true)) {
  root_->OpenSection(kMain)->OpenSection(kServers);
  root_->OpenSection(kNtAccounts);
  root_->OpenSection(kAccounts);
}

TestConfig& TestConfig::Log(std::string_view path) {
  root_->GetSection(kMain)->OpenValue(kLog)->SetString(path);
  return *this;
}

TestConfig& TestConfig::Disable(int flag) {
  root_->GetSection(kMain)->SetInt(kDisable, flag);
  return *this;
}

TestConfig& TestConfig::Bind(std::string_view key, std::string_view authority) {
  root_->GetSection(kMain)->GetSection(kServers)->OpenValue(key)->SetString(authority);
  return *this;
}

TestConfig& TestConfig::Authority(std::string_view name, int expiration_required) {
  root_->GetSection(kAccounts)->OpenSection(name)->SetInt(kExpirationRequired, expiration_required);
  return *this;
}

TestConfig& TestConfig::NtAccount(std::string_view name, std::string_view password) {
  root_->GetSection(kNtAccounts)->OpenSection(name)->OpenValue(kPassword)->SetString(password);
  return *this;
}

TestConfig& TestConfig::User(std::string_view authority, const UserEntry& user) {
  TreeSection* section = root_->GetSection(kAccounts)->OpenSection(authority);
  TreeSection* entry = section != nullptr ? section->OpenSection(user.name) : nullptr;
  if (entry == nullptr) return *this;
  entry->OpenValue(kPassword)->SetString(user.password);
  entry->SetInt(kDoNotMap, user.do_not_map);
  if (!user.map_to.empty()) entry->OpenValue(kMapTo)->SetString(user.map_to);
  entry->OpenValue(kExpireDate)->SetString(user.expire_date);
  entry->SetInt(kNoExpiration, user.no_expiration);
  entry->SetInt(kDisabled, user.disabled);
  return *this;
}

bool TestConfig::SaveTo(const std::string& path) {
  return root_->SetName(path) == 1 && root_->SaveFile() == 1;
}

bool TestConfig::SaveChangeTo(const std::string& path) {
  struct stat before;
  const bool existed = stat(path.c_str(), &before) == 0;
  for (;;) {
    if (!SaveTo(path)) return false;
    struct stat after;
    if (stat(path.c_str(), &after) != 0) return false;
    if (!existed || after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
        after.st_mtim.tv_nsec != before.st_mtim.tv_nsec) {
      return true;
    }
    usleep(1000);
  }
}

FilterSandbox::FilterSandbox() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vardfilt-XXXXXX").string();
  if (mkdtemp(pattern.data()) != nullptr) dir_ = pattern;
  setenv("VARDOMAR_REGISTRY", Path("registry").c_str(), 1);
  SetRegistry(kConfigFileValue, config_path());
}

FilterSandbox::~FilterSandbox() {
  unsetenv("VARDOMAR_REGISTRY");
  std::error_code ignored;
  if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
}

bool FilterSandbox::SetRegistry(std::string_view name, std::string_view value) {
  SettingsKey key(true, Hive::kLocalMachine, kRegistryKey);
  return key.WriteString(name, value) == 1;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> ListDirectory(const std::string& path) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool PathExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool SetFileTime(const std::string& path, int64_t seconds) {
  struct timespec times[2];
  times[0].tv_sec = static_cast<time_t>(seconds);
  times[0].tv_nsec = 0;
  times[1] = times[0];
  return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace vard::test
