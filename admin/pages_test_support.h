// Test support for the administration pages' process tests: runs the built vardadmin against a
// CgiSite, cuts the content cell out of the frame, and reads the saved configuration back.
// Not thread-safe (one test thread).
#ifndef VARDOMAR_ADMIN_PAGES_TEST_SUPPORT_H_
#define VARDOMAR_ADMIN_PAGES_TEST_SUPPORT_H_

#include <sys/types.h>

#include <memory>
#include <string>
#include <string_view>

#include "tests/cgi_runner.h"
#include "tree/tree_node.h"

namespace vard::test {

// What vardadmin answered to one request.
struct AdminPage {
  int exit_status = -1;
  std::string content;  // the content cell, between the frame's opening and closing of it
};

// Runs vardadmin with "Action=<action>" as query string and `body` as the posted form; a run
// that does not exit 0 or writes to standard error fails the test.
AdminPage RunAdmin(const CgiSite& site, std::string_view action, std::string_view body = {});
// The same with a query string of the test's choice.
AdminPage RunAdminQuery(const CgiSite& site, std::string_view query, std::string_view body = {});

// The configuration file as a tree (an empty tree when it cannot be read).
std::unique_ptr<TreeSection> LoadConfig(const CgiSite& site);

// The file as it stands on disk; an atomic save always replaces the inode, so two states are
// equal only when nobody saved in between.
struct FileState {
  ino_t inode = 0;
  std::string content;
  bool operator==(const FileState&) const = default;
};
FileState StateOf(const std::string& path);

// How often `needle` occurs in `haystack`.
int CountOf(std::string_view haystack, std::string_view needle);

}  // namespace vard::test

#endif  // VARDOMAR_ADMIN_PAGES_TEST_SUPPORT_H_
