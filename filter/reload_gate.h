// ReloadGate: which requests examine the configuration file for a new version. With no interval
// every request does, so a save is in force at the next request. With an interval ("Reload check
// interval" in the settings store) at most one request per interval does, and every other one
// decides with the configuration in force: on a shared volume whose caches are off one
// examination costs a network round trip, which would otherwise bound every request. Lock-free;
// any number of threads may ask at once.
#ifndef VARDOMAR_FILTER_RELOAD_GATE_H_
#define VARDOMAR_FILTER_RELOAD_GATE_H_

#include <atomic>
#include <cstdint>

namespace vard {

class SettingsKey;

class ReloadGate {
 public:
  // Sets the interval in milliseconds; 0 or less lets every request examine the file. A changed
  // interval makes the next request examine it whatever the interval.
  void SetIntervalMs(int64_t ms);

  // Sets the interval that the value "Reload check interval" of `key` names: none when the value
  // is missing or no valid interval (schema/reload_check.h), the safe reading of a typing error.
  void SetIntervalFrom(const SettingsKey& key);

  // Whether the calling request is the one to examine the file now: always without an interval;
  // with one, true for the first caller once the interval since the last examination passed
  // (time from Env::NowMonotonicMs) and false for every other caller until the next one passes.
  bool Due();

 private:
  // interval_ms_: set by the thread that loads the configuration, read by every request.
  std::atomic<int64_t> interval_ms_{0};
  // next_check_ms_: the monotonic time from which the next examination is due. The request that
  // moves it forward with one compare-exchange is the one that examines; 0 means "due now".
  std::atomic<int64_t> next_check_ms_{0};
};

}  // namespace vard

#endif  // VARDOMAR_FILTER_RELOAD_GATE_H_
