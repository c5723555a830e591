#include "filter/auth_filter.h"

#include <cstring>

#include "filter/backup_name.h"
#include "filter/string_table.h"
#include "platform/env.h"
#include "platform/settings_key.h"
#include "schema/names.h"

namespace vard {
namespace {

// The filter asks for the authentication step of every request, secure or not, at medium
// priority (0x42003).
constexpr DWORD kNotifications = SF_NOTIFY_SECURE_PORT | SF_NOTIFY_NONSECURE_PORT |
                                 SF_NOTIFY_AUTHENTICATION | SF_NOTIFY_ORDER_MEDIUM;
constexpr DWORD kFilterRevision = 0x40000;

std::unique_ptr<char[]> CopyText(std::string_view text) {
  auto copy = std::make_unique<char[]>(text.size() + 1);
  std::memcpy(copy.get(), text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

}  // namespace

AuthFilter::AuthFilter() : config_path_(""), denial_status_(CopyText(kDenialStatus)) {
  LoadFromSettings();
}

AuthFilter::~AuthFilter() = default;

BOOL AuthFilter::GetFilterVersion(HTTP_FILTER_VERSION* version) {
  if (version == nullptr) return FALSE;
  version->dwFilterVersion = kFilterRevision;
  version->dwFlags = kNotifications;
  LoadResourceString(kFilterDescriptionString, version->lpszFilterDesc, SF_MAX_FILTER_DESC_LEN);
  return TRUE;
}

DWORD AuthFilter::OnAuthentication(HTTP_FILTER_CONTEXT* request, HTTP_FILTER_AUTHENT* credentials) {
  return HandleAuthentication(request, credentials);
}

FileVersion AuthFilter::ConfigFileTime() const {
  FileVersion version;
  if (Env::Default()->GetFileVersion(config_path_.load(std::memory_order_acquire), &version)) {
    return version;
  }
  return config_time_.Load();
}

void AuthFilter::SetConfigPath(std::string_view path) {
  for (const std::unique_ptr<char[]>& known : path_pool_) {
    if (path == known.get()) {
      config_path_.store(known.get(), std::memory_order_release);
      return;
    }
  }
  path_pool_.push_back(CopyText(path));
  config_path_.store(path_pool_.back().get(), std::memory_order_release);
}

void AuthFilter::LoadFromSettings() {
  SettingsKey key(Hive::kLocalMachine, kRegistryKey);
  std::unique_ptr<char[]> path = key.ReadString(kConfigFileValue);
  key.Close();
  if (path == nullptr) return;
  const std::string_view text(path.get());
  if (text.size() > kMaxConfigPath) return;
  SetConfigPath(text);
  config_time_.Store(ConfigFileTime());
  root_ = std::make_unique<TreeSection>(text, true);
  loaded_.store(root_->LoadFile(), std::memory_order_release);
}

void AuthFilter::WriteBackupCopy() {
  CalendarTime utc;
  Env* env = Env::Default();
  const bool have_time = env->UtcTime(env->NowSeconds(), &utc);
  SettingsKey key(Hive::kLocalMachine, kRegistryKey);
  std::unique_ptr<char[]> dir = key.ReadString(kBackupDirValue);
  key.Close();
  if (root_ == nullptr || dir == nullptr || !have_time) return;
  // An empty directory means "no copies", like a missing one (SaveBackupCopy writes nothing for
  // it): the configuration page stores the value even when its field was left blank, and ""
  // would otherwise put copies at the root of the file system. A failed copy is lost silently:
  // the reload must go on whatever the backup directory holds.
  char name[kBackupNameCapacity];
  SaveBackupCopy(*root_, dir.get(), utc, name, sizeof name);
}

bool AuthFilter::ReloadIfChanged() {
  const uint64_t reloads_seen = reloads_.load(std::memory_order_acquire);
  const FileVersion file_time = ConfigFileTime();
  // Most requests end here without a lock. Returning false on what these two loads see is what
  // the locked test below would answer at the moment of the second load: config_time_ only
  // changes while reloading_ is set.
  if (reloading_.load(std::memory_order_acquire) != 0 || file_time == config_time_.Load()) {
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (reloading_.load() != 0 || file_time == config_time_.Load() ||
        reloads_.load() != reloads_seen || loaded_.load() == 0) {
      return false;
    }
    reloading_.store(1);
  }
  {
    std::unique_lock<std::mutex> lock(mu_);
    holds_drained_.wait(lock, [this] { return holds_.load() == 0; });
  }
  // From here on this thread is the only user of the configuration.
  WriteBackupCopy();
  root_.reset();
  loaded_.store(0, std::memory_order_release);
  LoadFromSettings();
  reloads_.fetch_add(1, std::memory_order_release);
  {
    std::lock_guard<std::mutex> lock(mu_);
    reloading_.store(0);
  }
  reload_done_.notify_all();
  return true;
}

void AuthFilter::WaitWhileReloading() {
  std::unique_lock<std::mutex> lock(mu_);
  reload_done_.wait(lock, [this] { return reloading_.load() == 0; });
}

void AuthFilter::AcquireConfig() {
  ReloadIfChanged();
  for (;;) {
    holds_.fetch_add(1);
    if (reloading_.load() == 0) return;
    // A reload was claimed after the test above began: the hold must not count, or the reload
    // would wait for this request while it waits for the reload.
    ReleaseConfig();
    WaitWhileReloading();
  }
}

void AuthFilter::ReleaseConfig() {
  // Guessing one hold makes the usual case a single exchange on the shared counter.
  int32_t holds = 1;
  while (!holds_.compare_exchange_weak(holds, holds - 1)) {
    if (holds <= 0) break;
  }
  if (holds == 1 && reloading_.load() != 0) {
    // Taking the lock orders this wake-up after the reload's test of holds_, so it is not lost.
    { std::lock_guard<std::mutex> lock(mu_); }
    holds_drained_.notify_all();
  }
}

}  // namespace vard
