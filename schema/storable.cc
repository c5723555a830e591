#include "schema/storable.h"

namespace vard {
namespace {

bool IsControl(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7f;
}

bool HasAny(std::string_view text, std::string_view chars) {
  for (const char c : text) {
    if (IsControl(c) || chars.find(c) != std::string_view::npos) return true;
  }
  return false;
}

// "|" and the longest port.
constexpr size_t kPortSuffix = 6;

}  // namespace

bool IsStorableSectionName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxStoredName && name.front() != ' ' &&
         name.back() != ' ' && !HasAny(name, ":;");
}

bool IsStorableValueName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxStoredName && !HasAny(name, "=[]");
}

bool IsStorableBindingHost(std::string_view host) {
  return !host.empty() && host.size() + kPortSuffix <= kMaxStoredName && !HasAny(host, " |") &&
         IsStorableValueName(host);
}

bool IsStorableValueText(std::string_view text) {
  return text.size() <= kMaxStoredText &&
         text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

}  // namespace vard
