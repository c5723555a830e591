// A user's stored password: clear text, or a hash in one of the recognised formats. The one
// owner of which texts are hashes (the filter verifies them, the pages and the tool make them and
// refuse clear texts that would be read as one). Stateless; safe from any thread.
#ifndef VARDOMAR_SCHEMA_PASSWORD_HASH_H_
#define VARDOMAR_SCHEMA_PASSWORD_HASH_H_

#include <string>
#include <string_view>

namespace vard {

// Whether a stored `Password` text is a hash: it begins with one of the recognised prefixes,
// bcrypt "$2y$", "$2b$", "$2a$", yescrypt "$y$", SHA-crypt "$6$", "$5$", and the htpasswd formats
// "$apr1$" (Apache's MD5) and "{SHA}". Any other text is a clear-text password; prefix-less DES
// crypt is not recognised, since it cannot be told from a clear-text password.
bool IsPasswordHash(std::string_view stored);

// The outcome of checking a typed password against a stored hash.
enum class HashCheck {
  kMatch,
  kMismatch,
  // The stored text carries a recognised prefix but is no valid hash of its format (cut,
  // altered, an unknown cost): no password can ever match it.
  kDamaged,
};

// Checks `typed` against `hash`, for which IsPasswordHash holds. Costs what the format costs
// (a bcrypt or yescrypt hash takes milliseconds of CPU); compares the results in constant time.
HashCheck CheckPasswordHash(std::string_view typed, std::string_view hash);

// Stores in `*hash` the yescrypt hash of `clear` with a fresh random salt of the library's own
// and its default cost. true on success; false (and `*hash` empty) when the library fails or
// `clear` holds a NUL.
bool HashPassword(std::string_view clear, std::string* hash);

}  // namespace vard

#endif  // VARDOMAR_SCHEMA_PASSWORD_HASH_H_
