// HTML escaping of every value that reaches a page from the request, the configuration, the
// registry or the log. Stateless and thread-safe.
#ifndef VARDOMAR_CGI_HTML_H_
#define VARDOMAR_CGI_HTML_H_

#include <string>
#include <string_view>

namespace vard {

// `text` with &, <, >, " and ' replaced by their character references, safe both as element
// text and inside a quoted attribute value.
std::string HtmlEscape(std::string_view text);

// Writes HtmlEscape(text) to standard output.
void WriteEscaped(std::string_view text);

}  // namespace vard

#endif  // VARDOMAR_CGI_HTML_H_
