#include "tools/password_input.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>

namespace vard {
namespace {

// Longer than any password the file can store, so that an over-long one reaches the storable
// check and its message instead of being cut silently.
constexpr size_t kMaxInput = 4096;

// Reads up to a line end or the end of input; 0 when nothing at all could be read.
int ReadLine(std::string* line) {
  line->clear();
  bool any = false;
  char c;
  ssize_t n;
  while ((n = read(STDIN_FILENO, &c, 1)) == 1) {
    any = true;
    if (c == '\n') break;
    if (line->size() < kMaxInput) line->push_back(c);
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return any ? 1 : 0;
}

// Echo is switched off for the life of the object and restored even when reading fails.
class EchoOff {
 public:
  EchoOff() {
    if (tcgetattr(STDIN_FILENO, &saved_) != 0) return;
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
  }
  ~EchoOff() {
    if (active_) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  termios saved_{};
  bool active_ = false;
};

int Prompted(const char* prompt, std::string* line) {
  std::fputs(prompt, stderr);
  std::fflush(stderr);
  const EchoOff quiet;
  const int read = ReadLine(line);
  std::fputs("\n", stderr);
  return read;
}

}  // namespace

int ReadPassword(std::string* password, std::string* error) {
  if (!isatty(STDIN_FILENO)) {
    if (ReadLine(password)) return 1;
    *error = "no password on standard input";
    return 0;
  }
  std::string again;
  if (!Prompted("Password: ", password) || !Prompted("Password (again): ", &again)) {
    *error = "no password entered";
    return 0;
  }
  if (*password != again) {
    *error = "the two passwords do not match";
    return 0;
  }
  return 1;
}

}  // namespace vard
