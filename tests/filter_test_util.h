// Shared checks of the filter's tests: what a log record of a given event must look like, and a
// fixture that prepares a sandbox with a typical configuration and loads vardfilt.so from it.
#ifndef VARDOMAR_TESTS_FILTER_TEST_UTIL_H_
#define VARDOMAR_TESTS_FILTER_TEST_UTIL_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "gtest/gtest.h"
#include "platform/env.h"
#include "schema/events.h"
#include "tests/filter_host.h"
#include "tests/filter_sandbox.h"

namespace vard::test {

// Installs an Env for the life of the scope.
class ScopedEnv {
 public:
  explicit ScopedEnv(Env* env) : previous_(Env::SetForTesting(env)) {}
  ~ScopedEnv() { Env::SetForTesting(previous_); }

 private:
  Env* previous_;
};

// Passes when `line` is the record of `event` with the two parameters, the resource and the
// site, stamped with a time of day and today's local date.
::testing::AssertionResult IsRecord(const std::string& line, Event event,
                                    std::string_view parameter1, std::string_view parameter2,
                                    std::string_view resource = "/index.htm",
                                    std::string_view site = "server1");

// A sandbox holding the configuration of the examples: the site server1 on ports 80 and 81 bound
// to the authority Staff, whose user alice (password "secret") is mapped to the NT account
// webstaff (password "ntpass"); the log in the sandbox.
class FilterFixture : public ::testing::Test {
 protected:
  FilterFixture();

  // Saves config_ and loads the library (a fresh filter instance).
  void Start();
  // Unloads the library.
  void Stop() { library_.reset(); }
  AuthResult Send(const ScriptedRequest& request) { return library_->Authenticate(request); }
  // A request of alice at server1:80 with the given password.
  static ScriptedRequest Alice(std::string_view password = "secret");
  // The lines of the log so far.
  std::vector<std::string> LogLines() const { return ReadLines(sandbox_.log_path()); }

  FilterSandbox sandbox_;
  TestConfig config_;
  std::unique_ptr<FilterLibrary> library_;
};

}  // namespace vard::test

#endif  // VARDOMAR_TESTS_FILTER_TEST_UTIL_H_
