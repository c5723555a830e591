// The front end of vardcfg's password commands, hash-passwords and import-htpasswd: arguments,
// help, the pages' configuration lock, load, atomic save and exit status. One call per process.
#ifndef VARDOMAR_TOOLS_PASSWORD_MAIN_H_
#define VARDOMAR_TOOLS_PASSWORD_MAIN_H_

#include <string_view>

namespace vard {

// The help of both commands, for vardcfg's own help.
extern const char kPasswordCommandsHelp[];

// Whether `command` is one of the password commands.
bool IsPasswordCommand(std::string_view command);

// Runs the password command argv[1] with the arguments after it; returns the exit status: 0 done,
// 1 failed or (import) a line was not taken, 2 bad arguments or a file that cannot be read.
int RunPasswordCommand(int argc, char** argv);

}  // namespace vard

#endif  // VARDOMAR_TOOLS_PASSWORD_MAIN_H_
