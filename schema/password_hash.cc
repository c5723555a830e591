#include "schema/password_hash.h"

#include <apr_md5.h>
#include <apr_sha1.h>
#include <crypt.h>
#include <openssl/crypto.h>

#include <array>
#include <cstring>
#include <memory>

namespace vard {
namespace {

// The prefixes libxcrypt verifies, and the two only Apache's tools write (apr-util's).
constexpr std::array<std::string_view, 6> kCryptPrefixes = {"$2y$", "$2b$", "$2a$",
                                                            "$y$",  "$6$",  "$5$"};
constexpr std::string_view kApacheMd5Prefix = "$apr1$";
constexpr std::string_view kSha1Prefix = APR_SHA1PW_ID;

bool IsCryptHash(std::string_view stored) {
  for (const std::string_view prefix : kCryptPrefixes) {
    if (stored.starts_with(prefix)) return true;
  }
  return false;
}

// A hash computed from the stored one's own setting must come out as long as the stored text;
// any other length means the stored text was cut or altered, and nothing could ever match it.
HashCheck Compare(std::string_view computed, std::string_view stored) {
  if (computed.size() != stored.size()) return HashCheck::kDamaged;
  return CRYPTO_memcmp(computed.data(), stored.data(), stored.size()) == 0 ? HashCheck::kMatch
                                                                           : HashCheck::kMismatch;
}

}  // namespace

bool IsPasswordHash(std::string_view stored) {
  return IsCryptHash(stored) || stored.starts_with(kApacheMd5Prefix) ||
         stored.starts_with(kSha1Prefix);
}

HashCheck CheckPasswordHash(std::string_view typed, std::string_view hash) {
  // The libraries read NUL-terminated texts; a typed password is never longer than the server's
  // credential buffer, so the copies are small.
  const std::string password(typed);
  const std::string setting(hash);
  if (password.size() != std::strlen(password.c_str())) return HashCheck::kMismatch;
  if (IsCryptHash(hash)) {
    // Zeroed, as the library wants it before first use; too large for a server thread's stack.
    auto data = std::make_unique<crypt_data>();
    const char* computed = crypt_rn(password.c_str(), setting.c_str(), data.get(), sizeof *data);
    if (computed == nullptr) return HashCheck::kDamaged;
    return Compare(computed, hash);
  }
  if (hash.starts_with(kApacheMd5Prefix)) {
    // "$apr1$", up to 8 characters of salt, "$" and 22 characters of digest.
    char computed[64];
    if (apr_md5_encode(password.c_str(), setting.c_str(), computed, sizeof computed) != 0) {
      return HashCheck::kDamaged;
    }
    return Compare(computed, hash);
  }
  if (hash.starts_with(kSha1Prefix)) {
    // "{SHA}" and the 28 characters of a base64 SHA-1 digest.
    char computed[kSha1Prefix.size() + 29];
    apr_sha1_base64(password.data(), static_cast<int>(password.size()), computed);
    return Compare(computed, hash);
  }
  return HashCheck::kDamaged;
}

bool HashPassword(std::string_view clear, std::string* hash) {
  hash->clear();
  const std::string password(clear);
  if (password.size() != std::strlen(password.c_str())) return false;
  char setting[CRYPT_GENSALT_OUTPUT_SIZE];
  // No random bytes given: the library draws the salt from the system's random source.
  if (crypt_gensalt_rn("$y$", 0, nullptr, 0, setting, sizeof setting) == nullptr) return false;
  auto data = std::make_unique<crypt_data>();
  const char* computed = crypt_rn(password.c_str(), setting, data.get(), sizeof *data);
  if (computed == nullptr) return false;
  *hash = computed;
  return true;
}

}  // namespace vard
