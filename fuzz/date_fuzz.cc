// The "%d" and month/day/year readers that expiration dates, the log viewer's date limit and the
// request fields share, checked against the C library's strtol, and the day arithmetic of the
// log viewer, which must grow with the date.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "schema/event_record.h"
#include "schema/expire_date.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vard;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string_view rest = text;
  int value = 0;
  if (ScanLeadingInt(&rest, &value)) {
    const std::string c_text = text.substr(0, text.find('\0'));
    char* end = nullptr;
    errno = 0;
    const long expected = std::strtol(c_text.c_str(), &end, 10);
    if (errno == 0 && expected > INT_MIN && expected < INT_MAX) {
      FUZZ_CHECK(value == expected, "the number reads as strtol reads it");
      FUZZ_CHECK(rest.data() == text.data() + (end - c_text.c_str()),
                 "the number ends where strtol ends it");
    }
  }
  int month = 0, day = 0, year = 0;
  const int read = ScanMonthDayYear(std::string_view(text), &month, &day, &year);
  FUZZ_CHECK(read >= 0 && read <= 3, "at most three numbers are read");
  if (read == 3) {
    if (day < INT_MAX) {
      FUZZ_CHECK(DayNumber(month, day + 1, year) == DayNumber(month, day, year) + 1,
                 "the next day has the next number");
    }
  }
  return 0;
}
