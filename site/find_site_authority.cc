#include "site/find_site_authority.h"

#include <cstdlib>

#include "schema/binding_key.h"
#include "schema/names.h"

namespace vard {

TreeSection* FindAuthorityForSite(TreeSection* root, std::string_view host, std::string_view port) {
  if (host.empty()) return &TreeSection::Null;
  // Room for any host and port a web server reports; a longer key is never stored anyway.
  char key[600];
  if (!BindingKeyFromServer(host, port, key, sizeof key)) return &TreeSection::Null;
  const char* authority = root->GetSection(kMain)->GetSection(kServers)->GetValue(key)->GetString();
  return root->GetSection(kAccounts)->GetSection(authority);
}

TreeSection* FindSiteAuthority(TreeSection* root) {
  const char* host = std::getenv("SERVER_NAME");
  const char* port = std::getenv("SERVER_PORT");
  // Without a port only the host is known, and the filter then matches the host alone.
  return FindAuthorityForSite(root, host != nullptr ? host : "", port != nullptr ? port : "80");
}

}  // namespace vard
