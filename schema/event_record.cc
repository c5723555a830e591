#include "schema/event_record.h"

#include "schema/expire_date.h"

namespace vard {
namespace {

bool IsDelimiter(char c) { return c == ',' || c == '\n' || c == '\r'; }

void AppendField(std::string& line, std::string_view text) {
  line.append(", ");
  const size_t start = line.size();
  line.append(text);
  for (size_t i = start; i < line.size(); ++i) {
    if (line[i] == '\r' || line[i] == '\n') line[i] = ' ';
  }
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

std::string FormatEventRecord(int id, std::string_view when, std::string_view description,
                              std::string_view parameter1, std::string_view parameter2,
                              std::string_view resource, std::string_view site) {
  std::string line = std::to_string(id);
  line.reserve(line.size() + when.size() + description.size() + parameter1.size() +
               parameter2.size() + resource.size() + site.size() + 16);
  AppendField(line, when);
  AppendField(line, description);
  AppendField(line, parameter1);
  AppendField(line, parameter2);
  AppendField(line, resource);
  AppendField(line, site);
  line.push_back('\n');
  return line;
}

int SplitEventRecord(std::string_view line, std::string_view* fields, int max) {
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

bool EventRecordFilter::Passes(std::string_view line) const {
  std::string_view fields[kEventRecordDateField + 1];
  const int count = SplitEventRecord(line, fields, dated ? kEventRecordDateField + 1 : 1);
  if (type >= 0) {
    int id = 0;
    std::string_view id_text = fields[0];
    ScanLeadingInt(&id_text, &id);
    if (id != type) return false;
  }
  int month = 0, day = 0, year = 0;
  if (dated && count == kEventRecordDateField + 1 &&
      ScanMonthDayYear(fields[kEventRecordDateField], &month, &day, &year) == 3) {
    return DayNumber(month, day, year) >= first_day;
  }
  return true;
}

}  // namespace vard
