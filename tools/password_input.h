// How vardcfg takes a password: never from its argument list (which every user of the machine
// can read in /proc), but from standard input, with a prompt and without echo when that is a
// terminal. One call per run, on the main thread.
#ifndef VARDOMAR_TOOLS_PASSWORD_INPUT_H_
#define VARDOMAR_TOOLS_PASSWORD_INPUT_H_

#include <string>

namespace vard {

// Reads one password into `password`. On a terminal: prompts on standard error with echo off,
// asks a second time and requires both to match. Otherwise: the first line of standard input,
// without its line end. Returns 1 when a password was read; 0 otherwise, with `error` saying why.
int ReadPassword(std::string* password, std::string* error);

}  // namespace vard

#endif  // VARDOMAR_TOOLS_PASSWORD_INPUT_H_
