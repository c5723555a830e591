#include "platform/time_format.h"

#include <cstring>
#include <vector>

namespace vard {
namespace {

struct Piece {
  std::string text;
  char conversion = 0;  // the conversion letter, 0 for literal text
};

bool IsFlagOrWidth(char c) {
  return c == '_' || c == '-' || c == '0' || c == '^' || c == '#' || (c >= '1' && c <= '9');
}

void AppendLiteral(std::vector<Piece>* pieces, std::string_view text) {
  if (!pieces->empty() && pieces->back().conversion == 0) {
    pieces->back().text.append(text);
  } else {
    pieces->push_back(Piece{std::string(text), 0});
  }
}

// Splits a strftime format into literal runs and conversions, expanding the composite
// conversions that hide a seconds field. `depth` stops a locale whose "%r" refers back to itself.
void Parse(std::string_view fmt, std::string_view ampm, int depth, std::vector<Piece>* pieces) {
  size_t i = 0;
  while (i < fmt.size()) {
    if (fmt[i] != '%') {
      const size_t next = fmt.find('%', i);
      const size_t end = next == std::string_view::npos ? fmt.size() : next;
      AppendLiteral(pieces, fmt.substr(i, end - i));
      i = end;
      continue;
    }
    size_t j = i + 1;
    while (j < fmt.size() && IsFlagOrWidth(fmt[j])) ++j;
    if (j < fmt.size() && (fmt[j] == 'E' || fmt[j] == 'O')) ++j;
    if (j >= fmt.size()) {
      AppendLiteral(pieces, fmt.substr(i));
      return;
    }
    const char c = fmt[j];
    if (c == '%') {
      AppendLiteral(pieces, "%%");
    } else if (c == 'T' && depth < 2) {
      Parse("%H:%M:%S", ampm, depth + 1, pieces);
    } else if (c == 'r' && depth < 2) {
      Parse(ampm.empty() ? std::string_view("%I:%M:%S %p") : ampm, ampm, depth + 1, pieces);
    } else {
      pieces->push_back(Piece{std::string(fmt.substr(i, j + 1 - i)), c});
    }
    i = j + 1;
  }
}

bool IsPunctuationOnly(const std::string& text) {
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x80 || (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z')) {
      return false;
    }
  }
  return !text.empty();
}

}  // namespace

std::string TimeOfDayFormatWithoutSeconds(std::string_view t_fmt, std::string_view t_fmt_ampm) {
  std::vector<Piece> pieces;
  Parse(t_fmt, t_fmt_ampm, 0, &pieces);
  for (size_t k = 0; k < pieces.size();) {
    if (pieces[k].conversion != 'S') {
      ++k;
      continue;
    }
    pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(k));
    if (k >= 2 && pieces[k - 1].conversion == 0 && IsPunctuationOnly(pieces[k - 1].text)) {
      pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(k - 1));
      --k;
    } else if (k < pieces.size() && pieces[k].conversion == 0) {
      // A unit word after the seconds ("s", a CJK character) goes with them; a space that
      // introduces the next field stays.
      std::string& next = pieces[k].text;
      const size_t space = next.find(' ');
      next.erase(0, space == std::string::npos ? next.size() : space);
      if (next.empty()) pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(k));
    }
  }
  std::string result;
  bool has_field = false;
  for (const Piece& piece : pieces) {
    result += piece.text;
    if (piece.conversion != 0) has_field = true;
  }
  return has_field ? result : std::string("%H:%M");
}

size_t SanitizeTimeText(char* text, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (text[i] == ',' || text[i] == '\r' || text[i] == '\n') text[i] = ' ';
  }
  size_t begin = 0;
  while (begin < n && text[begin] == ' ') ++begin;
  size_t end = n;
  while (end > begin && text[end - 1] == ' ') --end;
  const size_t length = end - begin;
  std::memmove(text, text + begin, length);
  text[length] = '\0';
  return length;
}

}  // namespace vard
