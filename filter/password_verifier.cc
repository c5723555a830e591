#include "filter/password_verifier.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <sys/random.h>

#include <chrono>
#include <cstring>
#include <initializer_list>
#include <string>

#include "platform/env.h"
#include "schema/password_hash.h"

namespace vard {
namespace {

// The keyed digest of the texts joined by NUL, which none of them can hold (names and hashes
// are stored texts, a typed password ends at its terminator): different inputs never join alike.
std::array<unsigned char, 32> Mac(const std::array<unsigned char, 32>& key,
                                  std::initializer_list<std::string_view> parts) {
  std::string message;
  for (const std::string_view part : parts) {
    message.append(part);
    message.push_back('\0');
  }
  std::array<unsigned char, 32> digest{};
  unsigned int size = 0;
  HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
       reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest.data(),
       &size);
  return digest;
}

}  // namespace

PasswordVerifier::PasswordVerifier(size_t capacity, int64_t max_age_seconds)
    : shard_capacity_(capacity / kShards > 0 ? capacity / kShards : 1),
      max_age_seconds_(max_age_seconds) {
  keyed_ = getrandom(key_.data(), key_.size(), 0) == static_cast<ssize_t>(key_.size());
}

PasswordVerifier::Result PasswordVerifier::Verify(std::string_view authority, std::string_view user,
                                                  std::string_view hash, std::string_view typed) {
  Digest proof{};
  uint64_t slot = 0;
  const int64_t now = Env::Default()->NowSeconds();
  if (keyed_) {
    // The user's slot is keyed too, so nobody can choose names that crowd one shard.
    const Digest user_digest = Mac(key_, {authority, user});
    std::memcpy(&slot, user_digest.data(), sizeof slot);
    proof = Mac(key_, {authority, user, hash, typed});
    if (Remembered(slot, proof, now)) return Result::kMatch;
  }
  if (!slots_.try_acquire_for(std::chrono::milliseconds(kBusyWaitMs))) return Result::kBusy;
  const HashCheck check = CheckPasswordHash(typed, hash);
  slots_.release();
  hashes_computed_.fetch_add(1, std::memory_order_relaxed);
  switch (check) {
    case HashCheck::kMatch:
      if (keyed_) Remember(slot, proof, now);
      return Result::kMatch;
    case HashCheck::kMismatch:
      return Result::kMismatch;
    case HashCheck::kDamaged:
      return Result::kDamaged;
  }
  return Result::kDamaged;
}

bool PasswordVerifier::Fresh(const Entry& entry, int64_t now) const {
  // A clock that went back makes the entry's age unknown: it ends.
  return now >= entry.stamped && now - entry.stamped < max_age_seconds_;
}

bool PasswordVerifier::Remembered(uint64_t slot, const Digest& proof, int64_t now) {
  Shard& shard = shards_[slot % kShards];
  const std::lock_guard<std::mutex> lock(shard.mu);
  const auto found = shard.entries.find(slot);
  if (found == shard.entries.end()) return false;
  return Fresh(found->second, now) &&
         CRYPTO_memcmp(found->second.proof.data(), proof.data(), proof.size()) == 0;
}

void PasswordVerifier::Remember(uint64_t slot, const Digest& proof, int64_t now) {
  Shard& shard = shards_[slot % kShards];
  const std::lock_guard<std::mutex> lock(shard.mu);
  if (shard.entries.size() >= shard_capacity_ && !shard.entries.contains(slot)) {
    // Only verified passwords come in, each after a hash of milliseconds, so a sweep of a full
    // shard is rare and cheap beside it.
    std::erase_if(shard.entries, [&](const auto& item) { return !Fresh(item.second, now); });
    if (shard.entries.size() >= shard_capacity_) shard.entries.erase(shard.entries.begin());
  }
  shard.entries.insert_or_assign(slot, Entry{proof, now});
}

}  // namespace vard
