// Reading the web server's variables of one request (SERVER_NAME, SERVER_PORT, SCRIPT_NAME) into
// bounded buffers. Uses only the request block it is given, so it is safe from any thread that
// owns that request.
#ifndef VARDOMAR_FILTER_SERVER_VARIABLE_H_
#define VARDOMAR_FILTER_SERVER_VARIABLE_H_

#include <cstdint>

#include "platform/isapi.h"

namespace vard {

// Asks the host for the variable `name` of `request` with a buffer of `cap` bytes (the size
// argument is `cap`). Returns true when the host delivered it and the text is terminated inside
// the buffer; false when the request offers no reader, the variable is unavailable or does not
// fit. `buf` always holds a terminated text afterwards ("" on false) when cap > 0.
bool ReadServerVariable(HTTP_FILTER_CONTEXT* request, const char* name, char* buf, uint32_t cap);

}  // namespace vard

#endif  // VARDOMAR_FILTER_SERVER_VARIABLE_H_
