#include "filter/auth_filter.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <string>

#include "filter/backup_name.h"
#include "filter/string_table.h"
#include "platform/env.h"
#include "platform/settings_key.h"
#include "platform/transient_retry.h"
#include "schema/names.h"
#include "tree/text_tree_stream.h"

namespace vard {
namespace {

// The filter asks for the authentication step of every request, secure or not, at medium
// priority (0x42003).
constexpr uint32_t kNotifications = SF_NOTIFY_SECURE_PORT | SF_NOTIFY_NONSECURE_PORT |
                                    SF_NOTIFY_AUTHENTICATION | SF_NOTIFY_ORDER_MEDIUM;
constexpr uint32_t kFilterRevision = 0x40000;

// The text kept for the backup copies has no limit of its own: one too large for memory fails
// its read, and one too large for the form fails the form.
constexpr size_t kMaxTextBytes = std::numeric_limits<size_t>::max() / 2;

std::unique_ptr<char[]> CopyText(std::string_view text) {
  auto copy = std::make_unique<char[]>(text.size() + 1);
  std::memcpy(copy.get(), text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

}  // namespace

AuthFilter::AuthFilter() : config_path_(""), denial_status_(CopyText(kDenialStatus)) {
  std::unique_ptr<std::string> text;
  std::unique_ptr<const FilterConfig> rules;
  std::string failed_path;
  std::string reason;
  if (LoadFromSettings(&text, &rules, &failed_path, &reason)) {
    config_.Publish(std::move(rules));
    loaded_.store(1, std::memory_order_release);
    RollBackupText(std::move(text), false);
  }
}

// The loader uses every field of the filter, so it must have finished before any of them goes.
AuthFilter::~AuthFilter() { reloader_.Join(); }

bool AuthFilter::GetFilterVersion(HTTP_FILTER_VERSION* version) {
  if (version == nullptr) return false;
  version->dwFilterVersion = kFilterRevision;
  version->dwFlags = kNotifications;
  LoadResourceString(kFilterDescriptionString, version->lpszFilterDesc, SF_MAX_FILTER_DESC_LEN);
  return true;
}

FilterAnswer AuthFilter::OnAuthentication(HTTP_FILTER_CONTEXT* request,
                                          HTTP_FILTER_AUTHENT* credentials) {
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

bool AuthFilter::LoadFromSettings(std::unique_ptr<std::string>* text,
                                  std::unique_ptr<const FilterConfig>* rules,
                                  std::string* failed_path, std::string* reason) {
  // Each version is read before what it describes is, so that a save landing in between still
  // counts as a change. Without a usable path the file watched stays the one loaded last.
  FileVersion version;
  Env::Default()->GetFileVersion(config_path_.load(std::memory_order_acquire), &version);
  config_time_.Store(version);
  SettingsKey key(Hive::kLocalMachine, kRegistryKey);
  std::unique_ptr<char[]> path = key.ReadString(kConfigFileValue);
  reload_gate_.SetIntervalFrom(key);
  const bool store_open = key.IsOpen();
  // Only the backup copies need the file's text (the tree it loads as gives their saved text; a
  // missing or empty directory means no copies): without them the form is read from the file as
  // it is read, with no copy of the text in memory.
  const std::unique_ptr<char[]> backup_dir = key.ReadString(kBackupDirValue);
  const bool keep_text = backup_dir != nullptr && backup_dir[0] != '\0';
  key.Close();
  if (path == nullptr) {
    *failed_path = RegistryPath();
    *reason = store_open ? "the settings store names no configuration file"
                         : "the settings store cannot be read";
    return false;
  }
  const std::string_view file(path.get());
  if (file.size() > kMaxConfigPath) {
    *failed_path = file;
    *reason = "the path is longer than " + std::to_string(kMaxConfigPath) + " characters";
    return false;
  }
  SetConfigPath(file);
  version = FileVersion();
  // On a shared volume the file may be between two names for a moment while another server
  // saves it: such a failure is retried before the reload counts as failed.
  RetryTransientFailure([&] { return Env::Default()->GetFileVersion(path.get(), &version); });
  config_time_.Store(version);
  // Each try starts afresh: a read that failed part-way leaves what it read added.
  std::unique_ptr<std::string> kept;
  std::unique_ptr<const FilterConfig> form;
  const int opened = RetryTransientFailure([&] {
    std::unique_ptr<TextTreeStream> stream;
    if (keep_text) {
      // The copy is made of the very text the form was read from, whatever replaces the file
      // meanwhile. A text too large for memory fails here, one too large for the form below.
      kept = std::make_unique<std::string>();
      if (Env::Default()->ReadFile(path.get(), kMaxTextBytes, kept.get()) == 0) return 0;
      stream = TextTreeStream::ReadingTextInPlace(*kept);
      if (stream == nullptr) {
        errno = ENOMEM;
        return 0;
      }
    } else {
      stream = std::make_unique<TextTreeStream>(file, false);
      if (!stream->IsOpen()) return 0;
    }
    form = FilterConfig::FromStream(*stream);
    // Null only for a failed read (errno set) or a form that cannot hold the file.
    if (form == nullptr && stream->InputError() != 0) return 0;
    return 1;
  });
  if (form == nullptr) {
    // A file whose names and texts pass 4 GB fits no form.
    const int error = opened == 0 ? errno : EFBIG;
    *failed_path = file;
    *reason = std::strerror(error);
    return false;
  }
  *text = std::move(kept);
  *rules = std::move(form);
  return true;
}

bool AuthFilter::SourcesChanged(FileVersion* file) const {
  if (reload_failed_.load(std::memory_order_acquire) == 0) {
    *file = ConfigFileTime();
    return *file != config_time_.Load();
  }
  // Only after a failed reload: the file may be missing until it is restored, and the store may
  // be what was wrong, so both are examined, a missing one as the all-zero version.
  Env* env = Env::Default();
  FileVersion store;
  *file = FileVersion();
  env->GetFileVersion(config_path_.load(std::memory_order_acquire), file);
  env->GetFileVersion(RegistryPath().c_str(), &store);
  return *file != config_time_.Load() || store != store_time_.Load();
}

void AuthFilter::RollBackupText(std::unique_ptr<std::string> fresh, bool write_copy) {
  const std::unique_ptr<const BackupText> replaced = std::move(backup_text_);
  CalendarTime utc;
  Env* env = Env::Default();
  const bool have_time = env->UtcTime(env->NowSeconds(), &utc);
  SettingsKey key(Hive::kLocalMachine, kRegistryKey);
  std::unique_ptr<char[]> dir = key.ReadString(kBackupDirValue);
  key.Close();
  // An empty directory means "no copies", like a missing one (SaveBackupCopy and BackupText write
  // nothing for it): the configuration page stores the value even when its field was left blank,
  // and "" would otherwise put copies at the root of the file system. A failed copy is lost
  // silently: the reload must go on whatever the backup directory holds.
  if (dir == nullptr || fresh == nullptr) return;
  if (write_copy && replaced != nullptr && have_time) {
    char name[kBackupNameCapacity];
    SaveBackupCopy(*replaced, dir.get(), utc, name, sizeof name);
  }
  backup_text_ = BackupText::Save(std::move(*fresh), dir.get());
}

bool AuthFilter::ReloadIfChanged() {
  if (!reload_gate_.Due()) return false;
  const uint64_t reloads_seen = reloads_.load(std::memory_order_acquire);
  // Most requests end here without a lock. Returning false on what these loads see is what the
  // claimed test below would answer: the versions compared only change while reloading_ is set,
  // and a reload that finished since reloads_seen was read makes the comparison stale.
  FileVersion noticed;
  if (reloading_.load(std::memory_order_acquire) != 0 || !SourcesChanged(&noticed)) return false;
  // The claimant waits for its load only when the file it noticed is small.
  const bool waits = noticed.size <= kClaimWaitMaxBytes;
  // Claimed, never waited for: whoever holds the claim is loading, and this request decides with
  // the configuration in force meanwhile.
  int32_t idle = 0;
  if (!reloading_.compare_exchange_strong(idle, 1)) return false;
  if (reloads_.load() != reloads_seen || loaded_.load() == 0) {
    reloading_.store(0);
    return false;
  }
  const uint64_t ticket = reloader_.Start([this] { Reload(); }, kReloadNiceIncrement);
  if (ticket == 0) {
    Reload();  // no thread to spare: the claiming request loads, as a quiet server would
  } else if (waits) {
    reloader_.WaitMs(ticket, kClaimWaitMs);
  }
  return true;
}

void AuthFilter::Reload() {
  FileVersion store;
  Env::Default()->GetFileVersion(RegistryPath().c_str(), &store);
  std::unique_ptr<std::string> text;
  std::unique_ptr<const FilterConfig> rules;
  std::string failed_path;
  std::string reason;
  if (LoadFromSettings(&text, &rules, &failed_path, &reason)) {
    reload_failed_.store(0, std::memory_order_release);
    // Freed here, off the requests' path: a request holding the last reference would otherwise
    // pay for freeing a whole configuration.
    config_.Publish(std::move(rules)).reset();
    // The copy of what was in force is written before the new text is kept: on a nearly full
    // disk the copy that exists now matters more than one that may never be needed.
    RollBackupText(std::move(text), true);
  } else {
    // Passing requests on unjudged until the server restarts would open every guarded site: the
    // configuration in force stays, and the next change of the file or the store is tried.
    store_time_.Store(store);
    reload_failed_.store(1, std::memory_order_release);
    LogEvent(*config_.Current(), nullptr, Event::kReloadFailed, failed_path, reason);
  }
  reloads_.fetch_add(1, std::memory_order_release);
  // The claim ends last: the next reload may start the loader again from here.
  reloading_.store(0);
}

AuthFilter::ConfigHold AuthFilter::AcquireConfig() {
  ReloadIfChanged();
  return config_.Acquire();
}

}  // namespace vard
