#include "schema/expire_date.h"

#include <climits>
#include <cstdint>

namespace vard {
namespace {

// The white space that "%d" skips in the C locale.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

int ScanLeadingInt(std::string_view* text, int* value) {
  size_t i = 0;
  while (i < text->size() && IsSpace((*text)[i])) ++i;
  bool negative = false;
  if (i < text->size() && ((*text)[i] == '+' || (*text)[i] == '-')) {
    negative = (*text)[i] == '-';
    ++i;
  }
  const size_t first_digit = i;
  int64_t magnitude = 0;
  for (; i < text->size() && (*text)[i] >= '0' && (*text)[i] <= '9'; ++i) {
    // Clamped rather than wrapped, so an absurd year stays absurd (and is refused as too large)
    // instead of turning into a valid one; past the int range the digits are only consumed.
    if (magnitude <= int64_t{INT_MAX} + 1) magnitude = magnitude * 10 + ((*text)[i] - '0');
  }
  if (i == first_digit) return 0;
  const int64_t signed_value = negative ? -magnitude : magnitude;
  *value = signed_value > INT_MAX   ? INT_MAX
           : signed_value < INT_MIN ? INT_MIN
                                    : static_cast<int>(signed_value);
  text->remove_prefix(i);
  return 1;
}

int ScanMonthDayYear(std::string_view text, int* month, int* day, int* year) {
  int* const targets[3] = {month, day, year};
  int read = 0;
  for (int* target : targets) {
    if (read > 0) {
      if (text.empty() || text.front() != '/') break;
      text.remove_prefix(1);
    }
    int value = 0;
    if (!ScanLeadingInt(&text, &value)) break;
    if (target != nullptr) *target = value;
    ++read;
  }
  return read;
}

int ScanMonthDayYear(const char* text, int* month, int* day, int* year) {
  return text != nullptr ? ScanMonthDayYear(std::string_view(text), month, day, year) : 0;
}

bool ReadExpireDate(const char* text, int* month, int* day, int* year) {
  return ScanMonthDayYear(text, month, day, year) == 3;
}

}  // namespace vard
