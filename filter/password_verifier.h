// PasswordVerifier: checks a typed password against a user's stored hash for the filter, so that
// a hashed user costs about what a clear-text one does. A password that verified is remembered
// for its user as a keyed digest (HMAC-SHA-256 under a random key of this process, never the
// password), bound to the exact hash text; a later request with the same password is answered
// from memory. Wrong passwords are never remembered. One per filter; safe from many threads.
#ifndef VARDOMAR_FILTER_PASSWORD_VERIFIER_H_
#define VARDOMAR_FILTER_PASSWORD_VERIFIER_H_

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string_view>
#include <unordered_map>

struct evp_mac_ctx_st;  // OpenSSL's EVP_MAC_CTX

namespace vard {

class PasswordVerifier {
 public:
  // The bounds: remembered passwords in all (the oldest shard entries give way beyond it), how
  // long one is remembered, and how many hashes are computed at once in the process. A hash
  // costs milliseconds of CPU, so a flood of guesses against hashed users could otherwise keep
  // every processor busy; a request that finds every slot taken waits up to kBusyWaitMs, then is
  // refused unchecked.
  static constexpr size_t kDefaultCapacity = 100000;
  static constexpr int64_t kDefaultMaxAgeSeconds = 300;
  static constexpr int kMaxConcurrentChecks = 4;
  static constexpr int kBusyWaitMs = 1000;

  enum class Result { kMatch, kMismatch, kDamaged, kBusy };

  // Draws the process's key from the system's random source. Without one (the source failed)
  // nothing is ever remembered and every request pays its hash.
  explicit PasswordVerifier(size_t capacity = kDefaultCapacity,
                            int64_t max_age_seconds = kDefaultMaxAgeSeconds);
  PasswordVerifier(const PasswordVerifier&) = delete;
  PasswordVerifier& operator=(const PasswordVerifier&) = delete;

  // Checks `typed` for the user `user` of the authority `authority` against `hash` (a text for
  // which IsPasswordHash holds): kMatch when it was remembered for exactly this hash text less
  // than the age limit ago (by Env's clock) or the hash verifies now; kMismatch, kDamaged (see
  // HashCheck); kBusy when no verification slot came free in time.
  Result Verify(std::string_view authority, std::string_view user, std::string_view hash,
                std::string_view typed);

  // How many hashes were computed so far (for tests and diagnostics).
  uint64_t HashesComputed() const { return hashes_computed_.load(std::memory_order_relaxed); }

 private:
  using Digest = std::array<unsigned char, 32>;
  struct Entry {
    Digest proof;
    int64_t stamped;  // Env's clock when the password verified
  };
  // A mutex per shard keeps threads deciding for different users from queueing on one lock.
  static constexpr size_t kShards = 16;
  struct Shard {
    std::mutex mu;
    std::unordered_map<uint64_t, Entry> entries;  // guarded by mu; keyed by the user's slot
  };

  struct MacFree {
    void operator()(evp_mac_ctx_st* context) const;
  };

  // Stores in `*digest` the keyed digest of `parts` joined by NUL. false when the library failed
  // (then nothing may be remembered or looked up).
  bool Mac(std::initializer_list<std::string_view> parts, Digest* digest) const;
  bool Remembered(uint64_t slot, const Digest& proof, int64_t now);
  void Remember(uint64_t slot, const Digest& proof, int64_t now);
  bool Fresh(const Entry& entry, int64_t now) const;

  const size_t shard_capacity_;
  const int64_t max_age_seconds_;
  // keyed_mac_: HMAC-SHA-256 already keyed with the process's key (null without one). Set by the
  // constructor only, then only read: every digest starts from a copy of it, which reads it, so
  // no request pays for looking the algorithm up and keying it, nor waits on the library's lock.
  std::unique_ptr<evp_mac_ctx_st, MacFree> keyed_mac_;
  std::array<Shard, kShards> shards_;
  std::counting_semaphore<kMaxConcurrentChecks> slots_{kMaxConcurrentChecks};
  std::atomic<uint64_t> hashes_computed_{0};
};

}  // namespace vard

#endif  // VARDOMAR_FILTER_PASSWORD_VERIFIER_H_
