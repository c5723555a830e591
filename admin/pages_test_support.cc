#include "admin/pages_test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vard::test {

namespace {

constexpr std::string_view kContentOpen =
    "<td valign=\"top\" bgcolor=\"#C0C0C0\" class=\"inset\" width=\"100%\">\n";
constexpr std::string_view kContentClose = "</td></tr>\n<tr><td colspan=\"2\"";

}  // namespace

AdminPage RunAdminQuery(const CgiSite& site, std::string_view query, std::string_view body) {
  const CgiResponse response = RunCgi(ProgramPath("vardadmin"), site.Request(query, body));
  // A sanitizer's report in the program lands on its standard error and in its exit status.
  EXPECT_EQ(response.exit_status, 0) << response.err;
  EXPECT_EQ(response.err, "");
  AdminPage page;
  page.exit_status = response.exit_status;
  const std::string out = response.Body();
  const size_t open = out.find(kContentOpen);
  const size_t close = out.rfind(kContentClose);
  if (open == std::string::npos || close == std::string::npos || close < open) {
    ADD_FAILURE() << "no content cell in:\n" << response.out << response.err;
    return page;
  }
  const size_t start = open + kContentOpen.size();
  page.content = out.substr(start, close - start);
  return page;
}

AdminPage RunAdmin(const CgiSite& site, std::string_view action, std::string_view body) {
  return RunAdminQuery(site, "Action=" + std::string(action), body);
}

std::unique_ptr<TreeSection> LoadConfig(const CgiSite& site) {
  auto root = std::make_unique<TreeSection>(site.config_path(), true);
  root->LoadFile();
  return root;
}

FileState StateOf(const std::string& path) {
  FileState state;
  struct stat status;
  if (stat(path.c_str(), &status) == 0) state.inode = status.st_ino;
  state.content = ReadFile(path);
  return state;
}

int CountOf(std::string_view haystack, std::string_view needle) {
  int count = 0;
  for (size_t at = haystack.find(needle); at != std::string_view::npos;
       at = haystack.find(needle, at + needle.size())) {
    ++count;
  }
  return count;
}

}  // namespace vard::test
