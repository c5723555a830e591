// The guard in front of both CGI programs. The web server's access control lets the
// administrator's browser in, and with it any page of another web site that the browser shows:
// such a page can post a form or load a URL with the administrator's credentials. So an action
// that changes the configuration or the settings store runs only when it is posted from a page
// of the programs' own origin; reading pages stay open. Stateless; one request, one thread.
#ifndef VARDOMAR_CGI_REQUEST_GUARD_H_
#define VARDOMAR_CGI_REQUEST_GUARD_H_

#include <optional>
#include <string_view>

namespace vard {

// True for the actions that can write the configuration or the settings store: the operations
// (IsOperationName, cgi/action.h) and Config (ignoring case).
bool IsChangingAction(std::string_view action);

// What the guard reads of a request; a CGI variable that is not set is nullopt.
struct RequestSource {
  std::optional<std::string_view> method;      // REQUEST_METHOD
  std::optional<std::string_view> host;        // HTTP_HOST
  std::optional<std::string_view> origin;      // HTTP_ORIGIN
  std::optional<std::string_view> referer;     // HTTP_REFERER
  std::optional<std::string_view> fetch_site;  // HTTP_SEC_FETCH_SITE

  // The five variables of this process's environment; the views point into it.
  static RequestSource FromEnvironment();
};

enum class GuardVerdict {
  kAllowed,
  kNotPosted,  // a changing action by another method than POST: 405
  kCrossSite,  // a changing action sent from a page of another origin: 403
};

// The verdict on `action` for a request from `source`. A reading action is always allowed. A
// changing one needs the method POST and then is refused when Sec-Fetch-Site says
// "cross-site" or "same-site", or when Origin (without it, Referer) is "null", does not read
// as an http or https URL of a host name or bracketed IPv6 address, or names another host or
// port than Host. A missing port is the default of the Origin's (Referer's) scheme on both
// sides; the schemes are not compared, so the pages work behind a proxy that ends TLS. Hosts
// compare ignoring case. A request with none of these headers (a script) is allowed.
GuardVerdict CheckRequest(std::string_view action, const RequestSource& source);

// For the page functions, before anything is written: checks `action` against this process's
// request. Allowed: writes nothing and returns true. Refused: writes the whole answer (status,
// the common headers, a page saying that nothing was changed) and returns false.
bool GuardRequest(std::string_view action);

}  // namespace vard

#endif  // VARDOMAR_CGI_REQUEST_GUARD_H_
