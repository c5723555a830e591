// Test support shared by the user pages' tests of both programs: a configuration with an
// authority of three users, and ways to look at the configuration file after a request.
// Not thread-safe.
#ifndef VARDOMAR_USERPAGES_USER_TEST_SUPPORT_H_
#define VARDOMAR_USERPAGES_USER_TEST_SUPPORT_H_

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace vard::test {

// Bindings intranet -> Staff, intranet|81 -> Other, ghost -> Gone (no such authority); NT
// accounts webstaff and WebOther; authority Staff (ExpirationRequired set) with the users
// alice (mapped to WEBOTHER, disabled), bob (not mapped, a hand-made key "hand", a password
// with markup characters) and carol (mapped to webstaff); authority Other with the user dave.
extern const char kUserConfig[];

// A configuration whose binding intranet names the authority Staff of `count` users, named
// `prefix` and a six-digit number from 000001 on, each with a password only; written directly,
// so a test gets an authority of 100 000 users in a moment.
std::string UsersConfig(int count, std::string_view prefix = "user");

// The lines of the user section `user` in the configuration text, from its open line to its
// close line, indentation removed, each ending in "\n"; "" when there is none.
std::string UserBlock(const std::string& config, std::string_view user);

// The names of the user sections of `authority` in the configuration file at `path`, in order.
std::vector<std::string> UserNames(const std::string& path, std::string_view authority);

// The inode of the file: an atomic save replaces it, so an unchanged inode means "not saved".
ino_t Inode(const std::string& path);

}  // namespace vard::test

#endif  // VARDOMAR_USERPAGES_USER_TEST_SUPPORT_H_
