// The binding key: the name of a value under MAIN / SERVERS that binds a site (host and TCP
// port) to an authority. The host alone for port 80, else host, "|" and port. Pure functions:
// safe from any thread.
#ifndef VARDOMAR_SCHEMA_BINDING_KEY_H_
#define VARDOMAR_SCHEMA_BINDING_KEY_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace vard {

// The key of a request, from the server's SERVER_NAME and SERVER_PORT texts: "|" and the port
// are appended unless the port text is exactly "80". Writes the zero-terminated key into `buf`
// of `cap` bytes and returns true; returns false, leaving "" in `buf` when cap > 0, when the key
// does not fit, `buf` is null, or the host holds "|" (it would name another port's binding:
// "intranet|81" on port 80 is the key of intranet on port 81).
bool BindingKeyFromServer(std::string_view host, std::string_view port, char* buf, size_t cap);

// The key the binding pages store, from the form fields Host and Port: "|" and the port text as
// typed are appended unless the port text reads as the integer 80 (leading blanks and a sign
// allowed, anything after the number ignored, so " 80" and "80x" count as 80).
std::string BindingKeyFromForm(std::string_view host, std::string_view port_text);

}  // namespace vard

#endif  // VARDOMAR_SCHEMA_BINDING_KEY_H_
