#include "platform/settings_key.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/atomic_file.h"
#include "platform/env.h"
#include "platform/lock_file.h"
#include "platform/registry_text.h"

namespace vard {
namespace {

// The store holds a handful of values; anything this large is not a store file.
constexpr size_t kMaxStoreBytes = size_t{1} << 20;

enum class ReadResult { kRead, kMissing, kFailed };

ReadResult ReadStore(const std::string& path, std::string* out) {
  if (Env::Default()->ReadFile(path.c_str(), kMaxStoreBytes, out) == 1) return ReadResult::kRead;
  return errno == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
}

// Every user may lock the store; who may change it is decided by the store file's own rights.
constexpr mode_t kLockMode = 0644;

// The store names where the configuration lives, no secret; every program that reads it may run
// as another user than the one that created it.
constexpr mode_t kStoreMode = 0644;

// Names and texts cross this interface as zero-terminated strings elsewhere in the system, so a
// zero byte ends them here too.
std::string_view UpToZero(std::string_view text) { return text.substr(0, text.find('\0')); }

}  // namespace

std::string RegistryPath() {
  const char* env = std::getenv("VARDOMAR_REGISTRY");
  return (env != nullptr && env[0] != '\0') ? std::string(env) : std::string(kDefaultRegistryPath);
}

SettingsKey::SettingsKey(Hive hive, std::string_view path) : SettingsKey(false, hive, path) {}

SettingsKey::SettingsKey(bool create, Hive /*hive*/, std::string_view path)
    : store_path_(RegistryPath()), key_path_(NormalizeKeyPath(UpToZero(path))) {
  std::string text;
  if (!create) {
    open_ =
        ReadStore(store_path_, &text) == ReadResult::kRead && RegistryText(text).HasKey(key_path_);
    return;
  }
  const LockFile lock(store_path_, LockMode::kExclusive, kLockMode);
  if (!lock.Held()) return;
  const ReadResult read = ReadStore(store_path_, &text);
  if (read == ReadResult::kFailed) return;
  RegistryText store(text);
  if (store.HasKey(key_path_)) {
    // The key is there already; opening it for writing still needs the right to change the store.
    if (read == ReadResult::kRead && access(store_path_.c_str(), W_OK) != 0) return;
  } else {
    if (!store.AddKey(key_path_)) return;
    if (WriteFileAtomically(store_path_, store.ToText(), kStoreMode) != 1) return;
  }
  open_ = true;
  writable_ = true;
}

SettingsKey::~SettingsKey() = default;

bool SettingsKey::IsOpen() const { return open_; }

std::unique_ptr<char[]> SettingsKey::ReadString(std::string_view name) const {
  if (!open_) return nullptr;
  std::string text;
  if (ReadStore(store_path_, &text) != ReadResult::kRead) return nullptr;
  const std::optional<RegistryText::Found> found =
      RegistryText(text).FindValue(key_path_, UpToZero(name));
  if (!found || found->zero_bytes) return nullptr;
  std::unique_ptr<char[]> copy(new (std::nothrow) char[found->data.size() + 1]);
  if (!copy) return nullptr;
  std::memcpy(copy.get(), found->data.data(), found->data.size());
  copy[found->data.size()] = '\0';
  return copy;
}

int SettingsKey::WriteString(std::string_view name, std::string_view text) {
  if (!open_ || !writable_) return 0;
  const LockFile lock(store_path_, LockMode::kExclusive, kLockMode);
  if (!lock.Held()) return 0;
  std::string old_text;
  if (ReadStore(store_path_, &old_text) == ReadResult::kFailed) return 0;
  RegistryText store(old_text);
  if (!store.SetString(key_path_, UpToZero(name), UpToZero(text))) return 0;
  return WriteFileAtomically(store_path_, store.ToText(), kStoreMode);
}

void SettingsKey::Close() {
  open_ = false;
  writable_ = false;
}

}  // namespace vard
