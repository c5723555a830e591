#include "cgi/request_guard.h"

#include <cstdlib>

#include "cgi/action.h"
#include "cgi/page.h"
#include "tree/named_object.h"

namespace vard {
namespace {

// A host and port as a request header names them; port -1 when the header gives none.
struct Endpoint {
  std::string_view host;
  int port = -1;
};

// A URL as Origin or Referer gives it: the scheme's default port, and where the URL points.
struct SourceUrl {
  int default_port = 0;
  Endpoint endpoint;
};

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_';
}

bool IsAddressChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
         c == '.';
}

bool AllOf(std::string_view text, bool (*accept)(char)) {
  for (const char c : text) {
    if (!accept(c)) return false;
  }
  return true;
}

// Reads "host[:port]", host a name or a bracketed IPv6 address. Anything else (user
// information, blanks, percent escapes, an empty host, a port beyond 65535) is nullopt, so a
// header built to be read one way here and another way by a browser is refused, not compared.
std::optional<Endpoint> ParseEndpoint(std::string_view text) {
  Endpoint endpoint;
  std::string_view rest;
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string_view::npos || close < 2) return std::nullopt;
    if (!AllOf(text.substr(1, close - 1), IsAddressChar)) return std::nullopt;
    endpoint.host = text.substr(0, close + 1);
    rest = text.substr(close + 1);
  } else {
    const size_t colon = text.find(':');
    endpoint.host = text.substr(0, colon);
    if (endpoint.host.empty() || !AllOf(endpoint.host, IsNameChar)) return std::nullopt;
    if (colon != std::string_view::npos) rest = text.substr(colon);
  }
  if (rest.empty()) return endpoint;
  if (rest.front() != ':') return std::nullopt;
  rest.remove_prefix(1);
  // "host:" is the default port, as in a URL.
  if (rest.empty()) return endpoint;
  if (rest.size() > 5) return std::nullopt;
  int port = 0;
  for (const char c : rest) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + (c - '0');
  }
  if (port < 1 || port > 65535) return std::nullopt;
  endpoint.port = port;
  return endpoint;
}

// Reads an http or https URL, "scheme://host[:port]" followed, when `path_allowed`, by a path,
// query or fragment. Origin carries none of them; Referer may.
std::optional<SourceUrl> ParseSourceUrl(std::string_view text, bool path_allowed) {
  const size_t separator = text.find("://");
  if (separator == std::string_view::npos) return std::nullopt;
  const std::string_view scheme = text.substr(0, separator);
  SourceUrl url;
  if (NamesEqual(scheme, "http")) {
    url.default_port = 80;
  } else if (NamesEqual(scheme, "https")) {
    url.default_port = 443;
  } else {
    return std::nullopt;
  }
  std::string_view authority = text.substr(separator + 3);
  const size_t end = authority.find_first_of("/?#");
  if (end != std::string_view::npos) {
    if (!path_allowed) return std::nullopt;
    authority = authority.substr(0, end);
  }
  const std::optional<Endpoint> endpoint = ParseEndpoint(authority);
  if (!endpoint) return std::nullopt;
  url.endpoint = *endpoint;
  return url;
}

// Whether the page that sent the request (`source_url`, from Origin or Referer) is of the
// request's own host and port.
bool IsOwnOrigin(std::string_view source_url, bool path_allowed,
                 std::optional<std::string_view> host_header) {
  const std::optional<SourceUrl> url = ParseSourceUrl(source_url, path_allowed);
  if (!url || !host_header) return false;
  const std::optional<Endpoint> host = ParseEndpoint(*host_header);
  if (!host) return false;
  const int url_port = url->endpoint.port > 0 ? url->endpoint.port : url->default_port;
  const int host_port = host->port > 0 ? host->port : url->default_port;
  return NamesEqual(url->endpoint.host, host->host) && url_port == host_port;
}

std::optional<std::string_view> EnvValue(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string_view(value);
}

void WriteRefusalPage(GuardVerdict verdict) {
  if (verdict == GuardVerdict::kNotPosted) {
    WriteLine("Status: 405 Method Not Allowed");
    WriteLine("Allow: POST");
  } else {
    WriteLine("Status: 403 Forbidden");
  }
  WriteHeader("text/html");
  if (verdict == GuardVerdict::kNotPosted) {
    WritePageHead("Method Not Allowed");
    WriteLine(
        "<p><b>This request would change the configuration: it is carried out only when "
        "its form is posted.</b></p>");
  } else {
    WritePageHead("Forbidden");
    WriteLine(
        "<p><b>This request was sent from a page of another web site and was "
        "refused.</b></p>");
  }
  Write("<p>Nothing was changed. <a href=\"");
  WriteScriptName();
  WriteLine("\">Open the administration pages</a> and use their forms.</p>");
  WriteLine("</body>");
  WriteLine("</html>");
}

}  // namespace

bool IsChangingAction(std::string_view action) {
  return IsOperationName(action) || NamesEqual(action, "Config");
}

RequestSource RequestSource::FromEnvironment() {
  RequestSource source;
  source.method = EnvValue("REQUEST_METHOD");
  source.host = EnvValue("HTTP_HOST");
  source.origin = EnvValue("HTTP_ORIGIN");
  source.referer = EnvValue("HTTP_REFERER");
  source.fetch_site = EnvValue("HTTP_SEC_FETCH_SITE");
  return source;
}

GuardVerdict CheckRequest(std::string_view action, const RequestSource& source) {
  if (!IsChangingAction(action)) return GuardVerdict::kAllowed;
  if (source.method != "POST") return GuardVerdict::kNotPosted;
  if (source.fetch_site && (NamesEqual(*source.fetch_site, "cross-site") ||
                            NamesEqual(*source.fetch_site, "same-site"))) {
    return GuardVerdict::kCrossSite;
  }
  // "null" (a sandboxed frame, a local file) falls through ParseSourceUrl and is refused.
  if (source.origin) {
    return IsOwnOrigin(*source.origin, false, source.host) ? GuardVerdict::kAllowed
                                                           : GuardVerdict::kCrossSite;
  }
  if (source.referer) {
    return IsOwnOrigin(*source.referer, true, source.host) ? GuardVerdict::kAllowed
                                                           : GuardVerdict::kCrossSite;
  }
  return GuardVerdict::kAllowed;
}

bool GuardRequest(std::string_view action) {
  const GuardVerdict verdict = CheckRequest(action, RequestSource::FromEnvironment());
  if (verdict == GuardVerdict::kAllowed) return true;
  WriteRefusalPage(verdict);
  return false;
}

}  // namespace vard
