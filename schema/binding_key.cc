#include "schema/binding_key.h"

#include <climits>
#include <cstring>

namespace vard {
namespace {

// The "%d" reading of a port field: leading blanks, an optional sign, at least one digit.
bool ReadsAsEighty(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  size_t digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    if (value <= INT_MAX) value = value * 10 + (text[i] - '0');
  }
  return digits > 0 && !negative && value == 80;
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
