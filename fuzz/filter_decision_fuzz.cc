// The filter's decision through its exported entry points, driven by the test host with hostile
// server variables and credentials: the input's NUL-separated parts are SERVER_NAME, SERVER_PORT,
// SCRIPT_NAME, the user, the password and two bytes of credential buffer capacities (a missing
// part is an unavailable variable). The configuration is written once, before the first input;
// the event log goes to /dev/null. The laws: the filter answers with one of its statuses, never
// writes past a credential buffer, and hands over the mapped account only for a right password
// (clear text or, for frank, a cheap bcrypt hash).
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "filter/auth_filter.h"
#include "filter/filter_object.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"
#include "tests/filter_host.h"

namespace {

constexpr char kConfig[] =
    "{ MAIN:\n"
    "    (int)Disable=0\n"
    "    (string)log=/dev/null\n"
    "    { SERVERS:\n"
    "        (string)server1=Staff\n"
    "        (string)server1|8080=Staff\n"
    "        (string)ghost=Missing\n"
    "    } SERVERS;\n"
    "} MAIN;\n"
    "{ NTACCOUNTS:\n"
    "    { webstaff:\n"
    "        (string)Password=staffpw\n"
    "    } webstaff;\n"
    "} NTACCOUNTS;\n"
    "{ ACCOUNTS:\n"
    "    { Staff:\n"
    "        (int)ExpirationRequired=1\n"
    "        { alice:\n"
    "            (string)Password=wonderland\n"
    "            (int)DoNotMap=0\n"
    "            (string)MapTo=webstaff\n"
    "            (string)expiredate=12/31/2037\n"
    "            (int)noexpiration=0\n"
    "            (int)disabled=0\n"
    "        } alice;\n"
    "        { bob:\n"
    "            (string)Password=builder\n"
    "            (int)DoNotMap=1\n"
    "        } bob;\n"
    "        { carol:\n"
    "            (string)Password=c\n"
    "            (string)MapTo=nobody\n"
    "            (int)noexpiration=1\n"
    "        } carol;\n"
    "        { dave:\n"
    "            (string)Password=d\n"
    "            (string)MapTo=webstaff\n"
    "            (string)expiredate=1/1/2001\n"
    "        } dave;\n"
    "        { erin:\n"
    "            (string)Password=e\n"
    "            (string)MapTo=webstaff\n"
    "            (string)expiredate=13/45/x\n"
    "            (int)disabled=0\n"
    "        } erin;\n"
    "        { frank:\n"
    "            (string)Password=$2y$04$8qGqYHsKEmyKVdHxoL8sy.qEeKZmjE3oTRMBXjFdSUXZL9TUMgSLS\n"
    "            (string)MapTo=webstaff\n"
    "            (int)noexpiration=1\n"
    "        } frank;\n"
    "    } Staff;\n"
    "} ACCOUNTS;\n";

std::string g_dir;
std::unique_ptr<vard::FilterLifetime> g_filter;

void RemoveSandbox() {
  g_filter.reset();
  std::error_code ignored;
  std::filesystem::remove_all(g_dir, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = std::filesystem::temp_directory_path().string() + "/vardfuzzXXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  g_dir = pattern;
  std::ofstream(g_dir + "/vardomar.cfg") << kConfig;
  std::ofstream(g_dir + "/registry")
      << "[HKEY_LOCAL_MACHINE\\Software\\Trevalo soft\\Vardomar (Text)]\n"
      << "\"Configuration File\"=\"" << g_dir << "/vardomar.cfg\"\n";
  setenv("VARDOMAR_REGISTRY", (g_dir + "/registry").c_str(), 1);
  g_filter = std::make_unique<vard::FilterLifetime>(std::make_unique<vard::AuthFilter>());
  HTTP_FILTER_VERSION version{};
  if (!vard::ForwardGetFilterVersion(&version)) std::abort();
  std::atexit(RemoveSandbox);
  // The harness is only worth its runs when the configuration loaded: a known user maps.
  vard::test::HostRequest known(
      vard::test::ScriptedRequest::For("server1", "80", "alice", "wonderland"));
  vard::ForwardHttpFilterProc(known.context(), SF_NOTIFY_AUTHENTICATION, known.credentials());
  if (std::string(known.credentials()->pszUser) != "webstaff") {
    std::fprintf(stderr, "filter_decision_fuzz: the configuration did not load\n");
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vard;
  const auto parts = SplitFuzzInput(data, size, 6);
  test::ScriptedRequest request;
  const char* const names[] = {"SERVER_NAME", "SERVER_PORT", "SCRIPT_NAME"};
  for (int k = 0; k < 3; ++k) {
    if (parts[k]) request.variables.emplace_back(names[k], *parts[k]);
  }
  request.user = parts[3].value_or("");
  request.password = parts[4].value_or("");
  if (parts[5] && parts[5]->size() >= 2) {
    request.user_capacity = static_cast<unsigned char>((*parts[5])[0]);
    request.password_capacity = static_cast<unsigned char>((*parts[5])[1]);
  }
  test::HostRequest host(request);
  const std::string user_in = host.credentials()->pszUser;
  const std::string password_in = host.credentials()->pszPassword;
  const DWORD status =
      ForwardHttpFilterProc(host.context(), SF_NOTIFY_AUTHENTICATION, host.credentials());
  FUZZ_CHECK(status == SF_STATUS_REQ_NEXT_NOTIFICATION ||
                 status == SF_STATUS_REQ_HANDLED_NOTIFICATION || status == SF_STATUS_REQ_ERROR,
             "the filter answers with one of its statuses");
  const test::AuthResult result = host.Result(status, 0);
  if (result.user == "webstaff" && user_in != "webstaff") {
    FUZZ_CHECK(
        (password_in == "wonderland" || password_in == "hashed") && result.password == "staffpw",
        "the mapped account is handed over only for the right password");
  }
  return 0;
}
