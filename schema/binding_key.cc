#include "schema/binding_key.h"

#include <cstring>

#include "schema/expire_date.h"

namespace vard {
namespace {

// The port a form names, read as "%d" reads it; the default port drops from the key.
bool ReadsAsEighty(std::string_view text) {
  int port = 0;
  return ScanLeadingInt(&text, &port) == 1 && port == 80;
}

}  // namespace

bool BindingKeyFromServer(std::string_view host, std::string_view port, char* buf, size_t cap) {
  if (buf == nullptr || cap == 0) return false;
  buf[0] = '\0';
  if (host.find('|') != std::string_view::npos) return false;
  const bool with_port = port != "80";
  const size_t length = host.size() + (with_port ? 1 + port.size() : 0);
  if (length >= cap) return false;
  char* out = buf;
  if (!host.empty())
    out = static_cast<char*>(std::memcpy(out, host.data(), host.size())) + host.size();
  if (with_port) {
    *out++ = '|';
    if (!port.empty())
      out = static_cast<char*>(std::memcpy(out, port.data(), port.size())) + port.size();
  }
  *out = '\0';
  return true;
}

std::string BindingKeyFromForm(std::string_view host, std::string_view port_text) {
  std::string key(host);
  if (!ReadsAsEighty(port_text)) {
    key.push_back('|');
    key.append(port_text);
  }
  return key;
}

}  // namespace vard
