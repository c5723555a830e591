#include "site/find_site_authority.h"

#include <cstdlib>

#include "platform/site_env.h"
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

namespace {

std::string_view EnvText(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string_view(value) : std::string_view();
}

}  // namespace

std::string_view SiteName() { return EnvText(VARDOMAR_SITE_NAME_VARIABLE); }

std::string_view SitePort() { return EnvText(VARDOMAR_SITE_PORT_VARIABLE); }

TreeSection* FindSiteAuthority(TreeSection* root) {
  const std::string_view port = SitePort();
  // Without a port only the host is known, and the filter then matches the host alone.
  return FindAuthorityForSite(root, SiteName(), port.empty() ? std::string_view("80") : port);
}

}  // namespace vard
