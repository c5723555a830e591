// Test support for the filter library: a stand-in web server that loads the built vardfilt.so
// with dlopen and drives it only through its two exported entry points, with scripted requests
// (server variables, credentials in buffers of given capacities) and captures what the filter
// did (status, errno after an error, the status line it sent, the rewritten credentials). Used by
// the filter's own tests, the benchmark and the whole-road test. A FilterLibrary may be called
// from many threads at once; a HostRequest belongs to one thread at a time.
#ifndef VARDOMAR_TESTS_FILTER_HOST_H_
#define VARDOMAR_TESTS_FILTER_HOST_H_

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/isapi.h"

namespace vard::test {

// One request as the host shows it to the filter.
struct ScriptedRequest {
  // The server variables the host knows, by exact name; any other is unavailable.
  std::vector<std::pair<std::string, std::string>> variables;
  std::string user;
  std::string password;
  // Capacities of the credential buffers, terminator included. A text longer than its capacity
  // is cut to fit (the filter then sees a full buffer).
  DWORD user_capacity = 257;
  DWORD password_capacity = 257;

  // A request for SERVER_NAME `host`, SERVER_PORT `port` and SCRIPT_NAME `script`.
  static ScriptedRequest For(std::string_view host, std::string_view port, std::string_view user,
                             std::string_view password, std::string_view script = "/index.htm");

  // Sets (or with `available` false removes) the server variable `name`.
  ScriptedRequest& Variable(std::string_view name, std::string_view value, bool available = true);
};

// What one authentication notification did.
struct AuthResult {
  DWORD status = 0;
  int error = 0;  // errno right after HttpFilterProc returned (set to 0 before the call)
  // Calls of ServerSupportFunction with SF_REQ_SEND_RESPONSE_HEADER and the last status line.
  int status_lines_sent = 0;
  std::string status_line;
  // The credential buffers after the call, up to their terminators.
  std::string user;
  std::string password;
};

// The filter context and authentication block of one scripted request, with buffers the filter
// may rewrite. Reusable: Reset() restores the credentials and clears the captures, so a loop can
// send the same request again without allocating.
class HostRequest {
 public:
  explicit HostRequest(ScriptedRequest request);
  HostRequest(const HostRequest&) = delete;
  HostRequest& operator=(const HostRequest&) = delete;

  void Reset();
  HTTP_FILTER_CONTEXT* context() { return &context_; }
  HTTP_FILTER_AUTHENT* credentials() { return &credentials_; }
  // The captures and credentials as an AuthResult with `status` and `error`.
  AuthResult Result(DWORD status, int error) const;

 private:
  static BOOL GetServerVariable(PHTTP_FILTER_CONTEXT pfc, LPSTR name, LPVOID buffer, LPDWORD size);
  static BOOL ServerSupportFunction(PHTTP_FILTER_CONTEXT pfc, DWORD request, LPVOID data,
                                    ULONG_PTR ul1, ULONG_PTR ul2);

  ScriptedRequest request_;
  std::unique_ptr<char[]> user_buffer_;
  std::unique_ptr<char[]> password_buffer_;
  HTTP_FILTER_CONTEXT context_{};
  HTTP_FILTER_AUTHENT credentials_{};
  int status_lines_sent_ = 0;
  std::string status_line_;
};

// The loaded library. Loading constructs the filter's instance (it reads the settings store
// named by VARDOMAR_REGISTRY at that moment); destroying this object unloads it.
class FilterLibrary {
 public:
  // $VARD_BIN/vardfilt.so, or the one of the build this host was built in without it.
  static std::string DefaultPath();

  // Loads the library at `path` (DefaultPath() when empty). Null on failure, with dlerror's text
  // in `error` when given.
  static std::unique_ptr<FilterLibrary> Load(const std::string& path = {},
                                             std::string* error = nullptr);
  ~FilterLibrary();
  FilterLibrary(const FilterLibrary&) = delete;
  FilterLibrary& operator=(const FilterLibrary&) = delete;

  BOOL GetFilterVersion(HTTP_FILTER_VERSION* version) const;
  DWORD HttpFilterProc(HTTP_FILTER_CONTEXT* context, DWORD notification_type,
                       void* notification) const;

  // Sends the authentication notification of `request` (its buffers as they are now) and
  // returns the status with errno as the call left it.
  DWORD Authenticate(HostRequest& request) const;
  // Sends one scripted request through a fresh HostRequest and returns what happened.
  AuthResult Authenticate(const ScriptedRequest& request) const;

 private:
  FilterLibrary(void* handle, PFN_GetFilterVersion get_version, PFN_HttpFilterProc proc);

  void* handle_;
  PFN_GetFilterVersion get_filter_version_;
  PFN_HttpFilterProc http_filter_proc_;
};

}  // namespace vard::test

#endif  // VARDOMAR_TESTS_FILTER_HOST_H_
