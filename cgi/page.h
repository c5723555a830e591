// Page output shared by both CGI programs: the response header, the writing primitives, the
// action URLs and the HTML head with its style sheet. Everything goes to standard output in one
// pass, front to back. Not thread-safe (one request, one thread).
#ifndef VARDOMAR_CGI_PAGE_H_
#define VARDOMAR_CGI_PAGE_H_

#include <initializer_list>
#include <string_view>

namespace vard {

// The character set of every page, named by the response header, the page's own declaration
// and every form's accept-charset: a browser then shows stored texts as they were typed and
// posts them back as the same bytes, the bytes its Basic log-on sends for a password.
inline constexpr std::string_view kPageCharset = "UTF-8";

// Writes `text` unchanged: the system's own markup. Values use WriteEscaped (cgi/html.h).
void Write(std::string_view text);
// Writes `text` unchanged followed by "\n".
void WriteLine(std::string_view text);
// Writes `number` in decimal.
void WriteInt(long number);

// Writes the headers every response carries and the empty line that ends the header block:
// "Content-Type: <type>; charset=<kPageCharset>", then the headers that keep the pages out of
// caches (they show passwords) and out of other sites' frames, and allow them no script. A
// Status or Allow line written before it belongs to the same block.
void WriteHeader(std::string_view content_type);

// Writes the program's own URL, SCRIPT_NAME HTML-escaped (nothing when it is missing).
void WriteScriptName();
// Writes "<SCRIPT_NAME>?Action=<action>", for use inside a quoted attribute value. SCRIPT_NAME
// is HTML-escaped (a missing one gives a URL relative to the program itself, "?Action=...");
// bytes of `action` other than letters, digits and "-._~" are percent-encoded, so every real
// action name is written unchanged and a foreign one cannot break the URL or the attribute.
void WriteActionUrl(std::string_view action);
// Writes "<SCRIPT_NAME>?Action=<action>&PostAction=<post_action>", both names as above.
void WriteActionUrl2(std::string_view action, std::string_view post_action);

// A field that a link carries in its query after the action, such as a page's position.
struct QueryField {
  std::string_view name;
  std::string_view value;
};
// Writes WriteActionUrl(action) followed by "&<name>=<value>" for each field in order, names and
// values percent-encoded like action names: every byte of a value (quotes, ampersands, markup,
// non-ASCII) reaches the program's query fields as it was, and none can end the URL's field or
// the attribute that holds it.
void WriteActionUrl(std::string_view action, std::initializer_list<QueryField> fields);
// Writes '<form method="POST" accept-charset="<kPageCharset>" action="<action URL>">' and a line
// end: every form posts its fields in the body, in the pages' character set, and names the
// operation in the query, as the programs read them.
void WriteFormStart(std::string_view action);

// Writes the HTML head with `title` (escaped) and the style sheet, ending with "<body>".
void WritePageHead(std::string_view title);

}  // namespace vard

#endif  // VARDOMAR_CGI_PAGE_H_
