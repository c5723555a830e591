#include "tests/cgi_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/settings_key.h"
#include "schema/names.h"

extern char** environ;

namespace vard::test {
namespace {

// The variables a CGI program reads from its environment; the runner sets exactly the ones
// the request gives and never leaks the test process's own.
constexpr const char* kCgiVariables[] = {
    "CONTENT_LENGTH",     "QUERY_STRING",       "HTTP_COOKIE",       "SCRIPT_NAME",
    "SERVER_NAME",        "SERVER_PORT",        "VARDOMAR_REGISTRY", "REQUEST_METHOD",
    "VARDOMAR_SITE_NAME", "VARDOMAR_SITE_PORT", "HTTP_HOST",         "HTTP_ORIGIN",
    "HTTP_REFERER",       "HTTP_SEC_FETCH_SITE"};

bool IsCgiVariable(const char* entry) {
  for (const char* name : kCgiVariables) {
    const size_t n = std::strlen(name);
    if (std::strncmp(entry, name, n) == 0 && entry[n] == '=') return true;
  }
  return false;
}

std::vector<std::string> ChildEnvironment(const CgiRequest& request) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    if (!IsCgiVariable(*e)) env.emplace_back(*e);
  }
  auto set = [&env](const char* name, const std::optional<std::string>& value) {
    if (value) env.push_back(std::string(name) + "=" + *value);
  };
  std::optional<std::string> length = request.content_length;
  if (!length && !request.body.empty()) length = std::to_string(request.body.size());
  if (request.omit_content_length) length.reset();
  set("CONTENT_LENGTH", length);
  set("QUERY_STRING", request.query_string);
  set("HTTP_COOKIE", request.cookie);
  set("SCRIPT_NAME", request.script_name);
  set("SERVER_NAME", request.server_name);
  set("SERVER_PORT", request.server_port);
  // What the host module sets beside them: the same site, unless the Host header was foreign.
  if (!request.foreign_host) set("VARDOMAR_SITE_NAME", request.server_name);
  set("VARDOMAR_SITE_PORT", request.server_port);
  set("VARDOMAR_REGISTRY", request.registry);
  set("REQUEST_METHOD", request.method);
  for (const std::string& extra : request.extra_env) env.push_back(extra);
  return env;
}

void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

long MonotonicMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

}  // namespace

const char kEmptyConfig[] =
    "{ MAIN:\n"
    "    { SERVERS:\n"
    "    } SERVERS;\n"
    "} MAIN;\n"
    "{ NTACCOUNTS:\n"
    "} NTACCOUNTS;\n"
    "{ ACCOUNTS:\n"
    "} ACCOUNTS;\n";

const char kPageHeaders[] =
    "Content-Type: text/html; charset=UTF-8\n"
    "Cache-Control: no-store\n"
    "X-Content-Type-Options: nosniff\n"
    "Referrer-Policy: same-origin\n"
    "X-Frame-Options: DENY\n"
    "Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'; form-action 'self'; "
    "frame-ancestors 'none'; base-uri 'none'\n"
    "\n";

std::string CgiResponse::Body() const {
  const size_t end = out.find("\n\n");
  return end == std::string::npos ? std::string() : out.substr(end + 2);
}

CgiProcess::CgiProcess(const std::string& program, const CgiRequest& request)
    : body_(request.body) {
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    return;
  }
  const std::vector<std::string> env = ChildEnvironment(request);
  std::vector<char*> envp;
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};

  // A program that exits without reading its whole body must not take the test down with it.
  signal(SIGPIPE, SIG_IGN);
  pid_ = fork();
  if (pid_ == 0) {
    signal(SIGPIPE, SIG_DFL);
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    if (request.file_size_limit >= 0) {
      // Ignored, an oversized write fails with EFBIG instead of killing the program.
      signal(SIGXFSZ, SIG_IGN);
      const rlimit limit = {static_cast<rlim_t>(request.file_size_limit),
                            static_cast<rlim_t>(request.file_size_limit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    execve(program.c_str(), argv, envp.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  in_fd_ = in[1];
  out_fd_ = out[0];
  err_fd_ = err[0];
  // Hand the body over at once, as a web server does, so that programs started together really
  // run together; whatever does not fit into the pipe follows in Wait.
  SetNonBlocking(in_fd_);
  while (sent_ < body_.size()) {
    const ssize_t w = write(in_fd_, body_.data() + sent_, body_.size() - sent_);
    if (w <= 0) break;
    sent_ += static_cast<size_t>(w);
  }
}

CgiProcess::~CgiProcess() {
  if (pid_ > 0 && !waited_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  for (int fd : {in_fd_, out_fd_, err_fd_}) {
    if (fd >= 0) close(fd);
  }
}

bool CgiProcess::Running() {
  if (pid_ <= 0 || waited_) return false;
  siginfo_t info = {};
  return waitid(P_PID, pid_, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
}

CgiResponse CgiProcess::Wait(int timeout_seconds) { return WaitMs(timeout_seconds * 1000L); }

CgiResponse CgiProcess::WaitMs(long timeout_ms) {
  CgiResponse response;
  if (pid_ <= 0 || waited_) return response;
  // The program may read only part of the body, or write before reading: feed and drain at
  // once so that neither side blocks on a full pipe.
  if (sent_ == body_.size()) {
    close(in_fd_);
    in_fd_ = -1;
  }
  const long deadline = MonotonicMs() + timeout_ms;
  bool killed = false;
  while (out_fd_ >= 0 || err_fd_ >= 0) {
    pollfd fds[3];
    int n = 0;
    if (in_fd_ >= 0) fds[n++] = {in_fd_, POLLOUT, 0};
    if (out_fd_ >= 0) fds[n++] = {out_fd_, POLLIN, 0};
    if (err_fd_ >= 0) fds[n++] = {err_fd_, POLLIN, 0};
    const long left = deadline - MonotonicMs();
    if (left <= 0 && !killed) {
      kill(pid_, SIGKILL);
      killed = true;
    }
    if (poll(fds, n, left > 0 ? static_cast<int>(left) : 100) < 0 && errno != EINTR) break;
    for (int i = 0; i < n; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == in_fd_) {
        const ssize_t w = write(in_fd_, body_.data() + sent_, body_.size() - sent_);
        if (w > 0) sent_ += static_cast<size_t>(w);
        if (w < 0 && errno != EAGAIN) sent_ = body_.size();
        if (sent_ == body_.size()) {
          close(in_fd_);
          in_fd_ = -1;
        }
        continue;
      }
      char buf[65536];
      const ssize_t r = read(fds[i].fd, buf, sizeof buf);
      std::string& target = fds[i].fd == out_fd_ ? response.out : response.err;
      if (r > 0) {
        target.append(buf, static_cast<size_t>(r));
      } else if (r == 0 || errno != EINTR) {
        close(fds[i].fd);
        (fds[i].fd == out_fd_ ? out_fd_ : err_fd_) = -1;
      }
    }
  }
  if (in_fd_ >= 0) {
    close(in_fd_);
    in_fd_ = -1;
  }
  int status = 0;
  waitpid(pid_, &status, 0);
  waited_ = true;
  response.exit_status =
      WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  return response;
}

CgiResponse RunCgi(const std::string& program, const CgiRequest& request) {
  CgiProcess process(program, request);
  return process.Wait();
}

std::string ProgramPath(std::string_view name) {
  const char* bin = std::getenv("VARD_BIN");
  return std::string(bin ? bin : "build/bin") + "/" + std::string(name);
}

std::string UrlEncode(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '*') {
      out.push_back(c);
    } else if (c == ' ') {
      out.push_back('+');
    } else {
      out += {'%', kHex[byte >> 4], kHex[byte & 15]};
    }
  }
  return out;
}

std::string FormBody(std::initializer_list<std::pair<std::string_view, std::string_view>> pairs) {
  std::string body;
  for (const auto& [name, value] : pairs) {
    if (!body.empty()) body.push_back('&');
    body += UrlEncode(name) + "=" + UrlEncode(value);
  }
  return body;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vard-cgi-XXXXXX").string();
  if (mkdtemp(pattern.data())) path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::File(std::string_view name) const { return path_ + "/" + std::string(name); }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool WriteFile(const std::string& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  return static_cast<bool>(out);
}

bool FileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

bool WriteRegistry(const std::string& registry_path, std::string_view config_file,
                   std::string_view backup_dir) {
  const char* old = std::getenv("VARDOMAR_REGISTRY");
  const std::string saved = old ? old : "";
  setenv("VARDOMAR_REGISTRY", registry_path.c_str(), 1);
  SettingsKey key(true, Hive::kLocalMachine, kRegistryKey);
  const bool ok = key.IsOpen() && key.WriteString(kConfigFileValue, config_file) &&
                  key.WriteString(kBackupDirValue, backup_dir);
  key.Close();
  if (old) {
    setenv("VARDOMAR_REGISTRY", saved.c_str(), 1);
  } else {
    unsetenv("VARDOMAR_REGISTRY");
  }
  return ok;
}

CgiSite::CgiSite(std::optional<std::string_view> config) {
  WriteRegistry(registry_path(), config_path());
  if (config) WriteFile(config_path(), *config);
}

CgiRequest CgiSite::Request(std::string_view query, std::string_view body) const {
  CgiRequest request;
  request.query_string = std::string(query);
  request.body = std::string(body);
  request.registry = registry_path();
  return request;
}

}  // namespace vard::test
