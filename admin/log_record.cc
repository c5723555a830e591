#include "admin/log_record.h"

#include <climits>
#include <cstring>

namespace vard {

namespace {

bool IsDelimiter(char c) { return c == ',' || c == '\n' || c == '\r'; }

// The white space that "%d" skips in the C locale.
bool IsScanSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days from 1970-01-01 to the first of a month of the proleptic Gregorian calendar;
// `month` is 1..12.
int64_t DaysToMonthStart(int64_t year, int64_t month) {
  year -= month <= 2;
  const int64_t era = FloorDiv(year, 400);
  const int64_t year_of_era = year - era * 400;
  const int64_t shifted_month = month > 2 ? month - 3 : month + 9;
  const int64_t day_of_year = (153 * shifted_month + 2) / 5;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

}  // namespace

int SplitLogFields(std::string_view line, std::string_view* fields, int max) {
  int found = 0;
  size_t start = 0;
  while (found < max) {
    size_t end = start;
    while (end < line.size() && !IsDelimiter(line[end])) ++end;
    fields[found++] = line.substr(start, end - start);
    if (end == line.size()) break;
    start = end + 1;
  }
  return found;
}

int ScanLeadingInt(std::string_view* text, int* value) {
  size_t i = 0;
  while (i < text->size() && IsScanSpace((*text)[i])) ++i;
  bool negative = false;
  if (i < text->size() && ((*text)[i] == '+' || (*text)[i] == '-')) {
    negative = (*text)[i] == '-';
    ++i;
  }
  const size_t first_digit = i;
  int64_t magnitude = 0;
  for (; i < text->size() && (*text)[i] >= '0' && (*text)[i] <= '9'; ++i) {
    // Past the int range the digits only have to be consumed, not added.
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
  int* const targets[] = {month, day, year};
  int read = 0;
  for (int* target : targets) {
    if (read > 0) {
      if (text.empty() || text.front() != '/') break;
      text.remove_prefix(1);
    }
    if (!ScanLeadingInt(&text, target)) break;
    ++read;
  }
  return read;
}

int64_t DayNumber(int month, int day, int year) {
  const int64_t month_index = int64_t{month} - 1;
  const int64_t whole_years = FloorDiv(month_index, 12);
  const int64_t month_of_year = month_index - whole_years * 12 + 1;
  return DaysToMonthStart(int64_t{year} + whole_years, month_of_year) + (int64_t{day} - 1);
}

}  // namespace vard
