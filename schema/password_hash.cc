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

// The digits of `text` up to its first non-digit as a number, or -1 when there are none or
// more than nine.
long LeadingNumber(std::string_view text) {
  long value = 0;
  size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
    if (++digits > 9) return -1;
    value = value * 10 + (text[digits - 1] - '0');
  }
  return digits == 0 ? -1 : value;
}

// The crypt alphabet's order, in which yescrypt writes its parameters.
int CryptDigit(char c) {
  static constexpr std::string_view kAlphabet =
      "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  const size_t at = kAlphabet.find(c);
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

constexpr long kMaxBcryptCost = 12;
constexpr long kMaxShaCryptRounds = 1000000;
// "$y$jBT$": N = 2^14 and r = 32, 64 MiB for one check; the library's default is "j9T".
constexpr char kMaxYescryptN = 'B';
constexpr char kMaxYescryptR = 'T';

}  // namespace

bool IsAffordablePasswordHash(std::string_view hash) {
  if (hash.starts_with("$2")) {
    // "$2y$", two digits of cost, "$".
    return hash.size() > 7 && hash[6] == '$' && LeadingNumber(hash.substr(4, 2)) >= 0 &&
           LeadingNumber(hash.substr(4, 2)) <= kMaxBcryptCost;
  }
  if (hash.starts_with("$5$") || hash.starts_with("$6$")) {
    // Without "rounds=" the format's fixed default of 5 000 applies.
    constexpr std::string_view kRounds = "rounds=";
    const std::string_view rest = hash.substr(3);
    if (!rest.starts_with(kRounds)) return true;
    const long rounds = LeadingNumber(rest.substr(kRounds.size()));
    return rounds >= 0 && rounds <= kMaxShaCryptRounds;
  }
  if (hash.starts_with("$y$")) {
    return hash.size() > 7 && hash[3] == 'j' && hash[6] == '$' && CryptDigit(hash[4]) >= 0 &&
           CryptDigit(hash[4]) <= CryptDigit(kMaxYescryptN) && CryptDigit(hash[5]) >= 0 &&
           CryptDigit(hash[5]) <= CryptDigit(kMaxYescryptR);
  }
  return true;
}

bool IsPasswordHash(std::string_view stored) {
  // Every recognised form opens with '$' or '{'; the filter asks this of every stored password on
  // every decision, so a clear text is told apart by its first byte alone.
  if (stored.empty() || (stored.front() != '$' && stored.front() != '{')) return false;
  return IsCryptHash(stored) || stored.starts_with(kApacheMd5Prefix) ||
         stored.starts_with(kSha1Prefix);
}

HashCheck CheckPasswordHash(std::string_view typed, std::string_view hash) {
  // The libraries read NUL-terminated texts; a typed password is never longer than the server's
  // credential buffer, so the copies are small.
  const std::string password(typed);
  const std::string setting(hash);
  if (password.size() != std::strlen(password.c_str())) return HashCheck::kMismatch;
  if (!IsAffordablePasswordHash(hash)) return HashCheck::kDamaged;
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
