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
  // altered, an unknown cost) or its cost is beyond what one check may spend
  // (IsAffordablePasswordHash): no password can ever match it.
  kDamaged,
};

// Whether checking `hash` stays within what one check at a visitor's request may spend: bcrypt
// at cost 12 at most, SHA-crypt at 1 000 000 rounds at most, yescrypt in the shape the library
// makes ("$y$", its flavour, N, r) with N at most 2^14 (64 MiB of memory) and r at most 32; the
// other formats cost the same for every hash. A costlier hash takes seconds of a processor or
// gigabytes of memory for each check, which anybody who knows the user's name could ask for.
bool IsAffordablePasswordHash(std::string_view hash);

// Checks `typed` against `hash`, for which IsPasswordHash holds. Costs what the format costs
// (a bcrypt or yescrypt hash takes milliseconds of CPU), never more than IsAffordablePasswordHash
// allows (kDamaged beyond); compares the results in constant time.
HashCheck CheckPasswordHash(std::string_view typed, std::string_view hash);

// Stores in `*hash` the yescrypt hash of `clear` with a fresh random salt of the library's own
// and its default cost. true on success; false (and `*hash` empty) when the library fails or
// `clear` holds a NUL.
bool HashPassword(std::string_view clear, std::string* hash);

}  // namespace vard

#endif  // VARDOMAR_SCHEMA_PASSWORD_HASH_H_
