#include "filter/password_verifier.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <sys/random.h>

#include <chrono>
#include <cstring>
#include <initializer_list>

#include "platform/env.h"
#include "schema/password_hash.h"

namespace vard {

void PasswordVerifier::MacFree::operator()(evp_mac_ctx_st* context) const {
  EVP_MAC_CTX_free(context);
}

PasswordVerifier::PasswordVerifier(size_t capacity, int64_t max_age_seconds)
    : shard_capacity_(capacity / kShards > 0 ? capacity / kShards : 1),
      max_age_seconds_(max_age_seconds) {
  std::array<unsigned char, 32> key{};
  if (getrandom(key.data(), key.size(), 0) != static_cast<ssize_t>(key.size())) return;
  EVP_MAC* const hmac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  if (hmac != nullptr) {
    keyed_mac_.reset(EVP_MAC_CTX_new(hmac));
    EVP_MAC_free(hmac);  // the context holds its own reference
  }
  char digest[] = "SHA256";
  const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                               OSSL_PARAM_construct_end()};
  if (keyed_mac_ && EVP_MAC_init(keyed_mac_.get(), key.data(), key.size(), params) != 1) {
    keyed_mac_.reset();
  }
  OPENSSL_cleanse(key.data(), key.size());
}

// The parts are joined by NUL, which none of them can hold (names and hashes are stored texts, a
// typed password ends at its terminator): different inputs never join alike.
bool PasswordVerifier::Mac(std::initializer_list<std::string_view> parts, Digest* digest) const {
  const std::unique_ptr<evp_mac_ctx_st, MacFree> context(EVP_MAC_CTX_dup(keyed_mac_.get()));
  if (!context) return false;
  static constexpr unsigned char kSeparator = 0;
  for (const std::string_view part : parts) {
    if (EVP_MAC_update(context.get(), reinterpret_cast<const unsigned char*>(part.data()),
                       part.size()) != 1 ||
        EVP_MAC_update(context.get(), &kSeparator, 1) != 1) {
      return false;
    }
  }
  size_t size = 0;
  return EVP_MAC_final(context.get(), digest->data(), &size, digest->size()) == 1 &&
         size == digest->size();
}

PasswordVerifier::Result PasswordVerifier::Verify(std::string_view authority, std::string_view user,
                                                  std::string_view hash, std::string_view typed) {
  Digest proof{};
  uint64_t slot = 0;
  const int64_t now = Env::Default()->NowSeconds();
  // The user's slot is keyed too, so nobody can choose names that crowd one shard.
  Digest user_digest{};
  const bool provable = keyed_mac_ && Mac({authority, user}, &user_digest) &&
                        Mac({authority, user, hash, typed}, &proof);
  if (provable) {
    std::memcpy(&slot, user_digest.data(), sizeof slot);
    if (Remembered(slot, proof, now)) return Result::kMatch;
  }
  if (!slots_.try_acquire_for(std::chrono::milliseconds(kBusyWaitMs))) return Result::kBusy;
  const HashCheck check = CheckPasswordHash(typed, hash);
  slots_.release();
  hashes_computed_.fetch_add(1, std::memory_order_relaxed);
  switch (check) {
    case HashCheck::kMatch:
      if (provable) Remember(slot, proof, now);
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
