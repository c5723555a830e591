// Which authority the site program serves: the one that the binding of the request's site (host
// name and port) names. Reads the loaded configuration only; one request, one thread.
#ifndef VARDOMAR_SITE_FIND_SITE_AUTHORITY_H_
#define VARDOMAR_SITE_FIND_SITE_AUTHORITY_H_

#include <string_view>

#include "tree/tree_node.h"

namespace vard {

// The section under ACCOUNTS named by the binding MAIN / SERVERS / <key>, the key built from
// `host` and `port` as the filter builds it (the host alone for the port text "80", else
// host|port). &TreeSection::Null when there is no such binding or authority, or when the host is
// empty or holds the "|" that separates host and port in a key.
TreeSection* FindAuthorityForSite(TreeSection* root, std::string_view host, std::string_view port);

// The request's site as the host module vouches for it (platform/site_env.h): the name is
// missing when the client's Host header named no name of the virtual host serving the request.
// SERVER_NAME and SERVER_PORT are not used: the web server takes them from that header, so a
// visitor could name another site and manage its authority. Empty texts for what is missing.
std::string_view SiteName();
std::string_view SitePort();

// FindAuthorityForSite with SiteName() and SitePort(). A missing port gives the key of the host
// alone, as in the filter; a missing name names no site.
TreeSection* FindSiteAuthority(TreeSection* root);

}  // namespace vard

#endif  // VARDOMAR_SITE_FIND_SITE_AUTHORITY_H_
