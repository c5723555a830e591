#include "admin/log_record.h"

namespace vard {

namespace {

bool IsDelimiter(char c) { return c == ',' || c == '\n' || c == '\r'; }

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

int64_t DayNumber(int month, int day, int year) {
  const int64_t month_index = int64_t{month} - 1;
  const int64_t whole_years = FloorDiv(month_index, 12);
  const int64_t month_of_year = month_index - whole_years * 12 + 1;
  return DaysToMonthStart(int64_t{year} + whole_years, month_of_year) + (int64_t{day} - 1);
}

}  // namespace vard
