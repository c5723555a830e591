// Which authority the site program serves: the one that the binding of the request's site (host
// name and port) names. Reads the loaded configuration only; one request, one thread.
#ifndef VARD_SITE_FIND_SITE_AUTHORITY_H_
#define VARD_SITE_FIND_SITE_AUTHORITY_H_

#include <string_view>

#include "tree/tree_node.h"

namespace vard {

// The section under ACCOUNTS named by the binding MAIN / SERVERS / <key>, the key built from
// `host` and `port` as the filter builds it (the host alone for the port text "80", else
// host|port). &TreeSection::Null when there is no such binding or authority, or when the host is
// empty or holds the "|" that separates host and port in a key.
TreeSection* FindAuthorityForSite(TreeSection* root, std::string_view host, std::string_view port);

// FindAuthorityForSite with the request's SERVER_NAME and SERVER_PORT. A missing SERVER_PORT
// gives the key of the host alone, as in the filter; a missing SERVER_NAME names no site.
TreeSection* FindSiteAuthority(TreeSection* root);

}  // namespace vard

#endif  // VARD_SITE_FIND_SITE_AUTHORITY_H_
