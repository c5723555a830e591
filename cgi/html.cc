#include "cgi/html.h"

#include <cstdio>

namespace vard {

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

void WriteEscaped(std::string_view text) {
  // Escaped run by run, so a long value never needs a copy of its own.
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char* entity = nullptr;
    switch (text[i]) {
      case '&':
        entity = "&amp;";
        break;
      case '<':
        entity = "&lt;";
        break;
      case '>':
        entity = "&gt;";
        break;
      case '"':
        entity = "&quot;";
        break;
      case '\'':
        entity = "&#39;";
        break;
      default:
        continue;
    }
    if (i > start) std::fwrite(text.data() + start, 1, i - start, stdout);
    std::fputs(entity, stdout);
    start = i + 1;
  }
  if (start < text.size()) std::fwrite(text.data() + start, 1, text.size() - start, stdout);
}

}  // namespace vard
