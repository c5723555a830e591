#include "schema/expire_date.h"

#include <climits>

namespace vard {
namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One "%d" conversion at `*p`; advances `*p` past it. Overflow clamps instead of wrapping so an
// absurd year stays absurd (and is refused as too large) rather than turning into a valid one.
bool ScanInt(const char** p, int* out) {
  const char* s = *p;
  while (IsSpace(*s)) ++s;
  bool negative = false;
  if (*s == '+' || *s == '-') negative = *s++ == '-';
  if (*s < '0' || *s > '9') return false;
  long long value = 0;
  for (; *s >= '0' && *s <= '9'; ++s) {
    if (value <= static_cast<long long>(INT_MAX) + 1) value = value * 10 + (*s - '0');
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  *out = static_cast<int>(value);
  *p = s;
  return true;
}

}  // namespace

int ScanMonthDayYear(const char* text, int* month, int* day, int* year) {
  if (text == nullptr) return 0;
  int* const targets[3] = {month, day, year};
  const char* p = text;
  int read = 0;
  for (int* target : targets) {
    if (read > 0) {
      if (*p != '/') break;
      ++p;
    }
    int value = 0;
    if (!ScanInt(&p, &value)) break;
    if (target != nullptr) *target = value;
    ++read;
  }
  return read;
}

bool ReadExpireDate(const char* text, int* month, int* day, int* year) {
  return ScanMonthDayYear(text, month, day, year) == 3;
}

}  // namespace vard
