#include "cgi/html.h"

#include <cstdio>

namespace vard {
namespace {

// The character reference that stands for `c` on a page, or null when `c` stands for itself.
const char* EntityFor(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    case '\'':
      return "&#39;";
    default:
      return nullptr;
  }
}

}  // namespace

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (const char* entity = EntityFor(c)) {
      out += entity;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

void WriteEscaped(std::string_view text) {
  // Escaped run by run, so a long value never needs a copy of its own.
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char* entity = EntityFor(text[i]);
    if (entity == nullptr) continue;
    if (i > start) std::fwrite(text.data() + start, 1, i - start, stdout);
    std::fputs(entity, stdout);
    start = i + 1;
  }
  if (start < text.size()) std::fwrite(text.data() + start, 1, text.size() - start, stdout);
}

}  // namespace vard
