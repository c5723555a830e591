// Test support for the CGI programs: runs a built program as a web server would (CGI
// environment, request body on standard input, registry store and configuration in a temporary
// directory) and captures what it answers. Used by the end-to-end tests of both CGI programs.
// Not thread-safe: use one runner per test thread.
#ifndef VARDOMAR_TESTS_CGI_RUNNER_H_
#define VARDOMAR_TESTS_CGI_RUNNER_H_

#include <sys/types.h>

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vard::test {

// One CGI request. A variable that is nullopt is left out of the environment entirely.
struct CgiRequest {
  std::optional<std::string> query_string;
  std::string body;
  // Defaults to the size of `body` when the body is not empty; set it to send something else.
  std::optional<std::string> content_length;
  // Leaves CONTENT_LENGTH out even when there is a body.
  bool omit_content_length = false;
  std::optional<std::string> cookie;
  // REQUEST_METHOD: a browser posts every form of the programs.
  std::optional<std::string> method = std::string("POST");
  std::optional<std::string> script_name = std::string("/scripts/vardadmin");
  std::optional<std::string> server_name = std::string("localhost");
  std::optional<std::string> server_port = std::string("80");
  // The host module's site variables repeat SERVER_NAME and SERVER_PORT; with a Host header that
  // names no name of the virtual host it leaves the name out.
  bool foreign_host = false;
  // Path of the registry store (env VARDOMAR_REGISTRY); nullopt leaves the variable unset.
  std::optional<std::string> registry;
  // Extra variables, NAME=value (HTTP_ORIGIN, HTTP_HOST, ... are never taken from the test).
  std::vector<std::string> extra_env;
  // Largest file the program may write, in bytes (RLIMIT_FSIZE; writes beyond it fail with
  // EFBIG): a way to make a save fail even when the tests run as root. Negative: no limit.
  long file_size_limit = -1;
};

struct CgiResponse {
  int exit_status = -1;  // the program's exit status, or 128 + signal when it was killed
  std::string out;       // everything written to standard output
  std::string err;       // everything written to standard error
  // The part of `out` after the header block ("\n\n"); empty when there is none.
  std::string Body() const;
};

// A program started in the background. Owns the child process; the destructor kills it if it
// has not been waited for.
class CgiProcess {
 public:
  CgiProcess(const std::string& program, const CgiRequest& request);
  ~CgiProcess();
  CgiProcess(const CgiProcess&) = delete;
  CgiProcess& operator=(const CgiProcess&) = delete;

  // True while the program has not exited (does not reap it).
  bool Running();
  // Sends the body, collects the output and waits for the exit (killing the program after
  // `timeout_seconds`, which then shows as exit status 128 + SIGKILL).
  CgiResponse Wait(int timeout_seconds = 60);
  // Wait with the deadline in milliseconds: a way to kill the program at a chosen moment.
  CgiResponse WaitMs(long timeout_ms);

 private:
  pid_t pid_ = -1;
  int in_fd_ = -1, out_fd_ = -1, err_fd_ = -1;
  std::string body_;
  size_t sent_ = 0;  // bytes of body_ already written to the program
  bool waited_ = false;
};

// Runs `program` with `request` and waits for it.
CgiResponse RunCgi(const std::string& program, const CgiRequest& request);

// The path of a built program: $VARD_BIN/<name>.
std::string ProgramPath(std::string_view name);

// "a=1&b=2" from pairs, each name and value URL-encoded as a browser encodes a form.
std::string FormBody(std::initializer_list<std::pair<std::string_view, std::string_view>> pairs);
// A text URL-encoded as a browser encodes a form value (space as '+').
std::string UrlEncode(std::string_view text);

// A temporary directory removed with its contents on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // path() + "/" + name.
  std::string File(std::string_view name) const;

 private:
  std::string path_;
};

// Whole-file helpers; ReadFile gives "" for a missing file, WriteFile returns false on failure.
std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, std::string_view content);
bool FileExists(const std::string& path);

// Writes the registry store at `registry_path` with the configuration location, as the Config
// action would. Returns false when the store cannot be written.
bool WriteRegistry(const std::string& registry_path, std::string_view config_file,
                   std::string_view backup_dir = {});

// A CGI test site: a temporary directory with a registry store pointing at "config.cfg" in it.
// `Request()` gives a request aimed at that registry.
class CgiSite {
 public:
  // Writes the registry; the configuration file is written only when `config` is given.
  explicit CgiSite(std::optional<std::string_view> config = std::nullopt);
  const TempDir& dir() const { return dir_; }
  std::string registry_path() const { return dir_.File("registry"); }
  std::string config_path() const { return dir_.File("config.cfg"); }
  std::string Config() const { return ReadFile(config_path()); }
  // A request with the registry set, the query string `query` and, when `body` is not empty,
  // the body (CONTENT_LENGTH its size).
  CgiRequest Request(std::string_view query, std::string_view body = {}) const;

 private:
  TempDir dir_;
};

// The empty top sections of a new configuration file.
extern const char kEmptyConfig[];

// The header block every page of both programs begins with, its empty last line included.
extern const char kPageHeaders[];

}  // namespace vard::test

#endif  // VARDOMAR_TESTS_CGI_RUNNER_H_
