// The event record's codec and the log viewer's record filter. The input is read twice: as a
// line of a hand-damaged log (split and filtered), and as the NUL-separated texts of a record to
// write, which must read back as one line with the texts in their fields (commas aside).
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"
#include "schema/event_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vard;
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  std::string_view fields[kEventRecordFields];
  const int count = SplitEventRecord(line, fields, kEventRecordFields);
  FUZZ_CHECK(count >= 1 && count <= kEventRecordFields, "a line has one to eight fields");
  for (int k = 0; k < count; ++k) {
    FUZZ_CHECK(fields[k].data() >= line.data() &&
                   fields[k].data() + fields[k].size() <= line.data() + line.size(),
               "fields point into the line");
  }
  const int type = size > 0 ? data[0] % 20 - 1 : -1;
  (void)EventRecordFilter{type, true, DayNumber(3, 7, 2001)}.Passes(line);
  (void)EventRecordFilter{type, false, 0}.Passes(line);

  const auto parts = SplitFuzzInput(data, size, 6);
  std::string texts[6];
  for (int k = 0; k < 6; ++k) texts[k] = parts[k].value_or("");
  const std::string record =
      FormatEventRecord(type, texts[0], texts[1], texts[2], texts[3], texts[4], texts[5]);
  FUZZ_CHECK(record.find_first_of("\r\n") == record.size() - 1, "a record is one line");
  std::string_view read[kEventRecordFields + 8];
  const int read_count = SplitEventRecord(record, read, kEventRecordFields + 8);
  bool commas = false;
  for (const std::string& text : texts) commas |= text.find(',') != std::string::npos;
  if (!commas) {
    // Without the comma a real time field holds before its date, the record has seven fields
    // (and the line end an eighth, empty one).
    FUZZ_CHECK(read_count == 8 && read[7].empty(), "a record reads back field for field");
    for (int k = 0; k < 6; ++k) {
      std::string expected = " " + texts[k];
      for (char& c : expected) c = (c == '\r' || c == '\n') ? ' ' : c;
      FUZZ_CHECK(read[k + 1] == expected, "each text reads back in its field");
    }
  }
  return 0;
}
