#include "filter/reload_gate.h"

#include <memory>

#include "platform/env.h"
#include "platform/settings_key.h"
#include "schema/names.h"
#include "schema/reload_check.h"

namespace vard {

void ReloadGate::SetIntervalMs(int64_t ms) {
  if (interval_ms_.exchange(ms > 0 ? ms : 0, std::memory_order_relaxed) != ms) {
    next_check_ms_.store(0, std::memory_order_relaxed);
  }
}

void ReloadGate::SetIntervalFrom(const SettingsKey& key) {
  const std::unique_ptr<char[]> text = key.ReadString(kReloadCheckIntervalValue);
  int64_t ms = 0;
  if (text == nullptr || !ParseReloadCheckInterval(text.get(), &ms)) ms = 0;
  SetIntervalMs(ms);
}

bool ReloadGate::Due() {
  const int64_t interval = interval_ms_.load(std::memory_order_relaxed);
  if (interval == 0) return true;
  const int64_t now = Env::Default()->NowMonotonicMs();
  int64_t next = next_check_ms_.load(std::memory_order_relaxed);
  if (now < next) return false;
  // Of the requests that saw the time pass, only the one whose exchange lands examines the file;
  // a loser's configuration is at most one interval old, as promised.
  return next_check_ms_.compare_exchange_strong(next, now + interval, std::memory_order_relaxed);
}

}  // namespace vard
