// The event log viewer: a filter form (event type, earliest date) and one page of the records
// that pass it. Record numbers count only records that pass the filters, so the log is read from
// its start up to the page on every request; the scan stays cheap: lines are read into one fixed
// buffer and only the two fields the filters need are looked at; only the rows that are shown
// are split whole.

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

#include "admin/actions.h"
#include "cgi/html.h"
#include "cgi/page.h"
#include "platform/env.h"
#include "schema/event_record.h"
#include "schema/events.h"
#include "schema/expire_date.h"
#include "schema/names.h"

namespace vard {

namespace {

struct EventType {
  Event event;
  const char* name;
};

// The event types offered by the type list, in the order the list shows them.
constexpr EventType kEventTypes[] = {
    {Event::kFilterDisabled, "Filter disabled"},
    {Event::kAnonymous, "Anonymous request"},
    {Event::kServerNameMissing, "Required header not found"},
    {Event::kSiteNotHandled, "Site not handled"},
    {Event::kAuthorityNotFound, "Authority not found"},
    {Event::kUserNotFound, "User not found"},
    {Event::kAccountDisabled, "Account disabled"},
    {Event::kNotMapped, "Not mapped user log on"},
    {Event::kInvalidPassword, "Invalid password"},
    {Event::kExpireDateError, "Date format error"},
    {Event::kExpireYearTooLarge, "Date greater than 2037"},
    {Event::kAccountExpired, "Account expired"},
    {Event::kExpireDateMissing, "Expiration date not found"},
    {Event::kMapToMissing, "Map to not specified"},
    {Event::kMapToAccountNotFound, "NT account not found"},
    {Event::kAuthenticated, "Authentication success"},
};

// A line is read in pieces of at most this many bytes, terminator included; a longer line
// becomes several pieces, each listed as a record of its own.
constexpr int kLineBuffer = 2048;
// A page lists the records start to start + kPageSpan, both included.
constexpr int kPageSpan = 50;
// Lines are read through a large stdio buffer: a scan may cover most of a large log.
constexpr size_t kReadBuffer = 1 << 20;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The log file for reading, or null when there is none to read: no path, a missing or unreadable
// file, or anything but a regular file (a directory reads nothing, a pipe or device could block
// the page forever).
File OpenLog(const char* path) {
  if (*path == '\0') return nullptr;
  Env* env = Env::Default();
  const int fd = env->Open(path, O_RDONLY | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat status;
  File file;
  if (env->FileStat(fd, &status) == 0 && S_ISREG(status.st_mode)) file.reset(fdopen(fd, "r"));
  if (!file) {
    env->Close(fd);
    return nullptr;
  }
  std::setvbuf(file.get(), nullptr, _IOFBF, kReadBuffer);
  return file;
}

void WriteFilterForm(std::string_view date, int type) {
  WriteFormStart("ViewLog");
  WriteLine("<table border=\"0\" cellspacing=\"1\">");
  Write(
      "<tr><td class=\"outset\">Events newer than (MM/DD/YYYY): </td><td class=\"outset\">"
      "<input type=\"text\" name=\"date\" size=\"20\" value=\"");
  WriteEscaped(date);
  WriteLine("\"></td></tr>");
  WriteLine(
      "<tr><td class=\"outset\">Event type: </td><td class=\"outset\">"
      "<select size=\"1\" name=\"type\">");
  WriteLine("<option value=\"-1\">ALL EVENTS</option>");
  for (const EventType& entry : kEventTypes) {
    Write(EventId(entry.event) == type ? "<option selected value=\"" : "<option value=\"");
    WriteInt(EventId(entry.event));
    Write("\">");
    Write(entry.name);
    WriteLine("</option>");
  }
  WriteLine("</select></td></tr>");
  WriteLine(
      "<tr><td class=\"outset\">&nbsp;</td><td class=\"outset\">"
      "<input type=\"submit\" value=\"List from the beginning\" name=\"Again\"></td></tr>");
  WriteLine("</table>");
}

void WriteResultsHead() {
  WriteLine("<hr>");
  WriteLine("<table border=\"0\" cellspacing=\"1\">");
  WriteLine(
      "<tr><td nowrap class=\"outset\">Event ID</td><td nowrap class=\"outset\">Hour</td>"
      "<td nowrap class=\"outset\">Date</td>"
      "<td nowrap class=\"outset\">Event description</td>"
      "<td nowrap class=\"outset\">Parameter 1</td><td nowrap class=\"outset\">Parameter 2</td>"
      "<td nowrap class=\"outset\">Resource</td><td nowrap class=\"outset\">Site</td></tr>");
}

// One shown record: field k in cell k; a field the line does not have leaves its cell empty.
void WriteRecordRow(std::string_view line) {
  std::string_view fields[kEventRecordFields];
  const int count = SplitEventRecord(line, fields, kEventRecordFields);
  Write("<tr>");
  for (int k = 0; k < kEventRecordFields; ++k) {
    Write("<td nowrap bgcolor=\"#E0E0E0\">");
    if (k < count) WriteEscaped(fields[k]);
    Write("</td>");
  }
  WriteLine("</tr>");
}

}  // namespace

int ViewLog(TreeSection* root, FieldSet& form, FieldSet&) {
  const File log = OpenLog(root->GetSection(kMain)->GetValue(kLog)->GetString());
  if (!log) return 1;

  const int64_t start = *form.Get("Again").Text() != '\0' ? 0 : form.Get("record").Int();
  const std::string_view date = form.Get("date").Text();
  EventRecordFilter filter{form.Get("type").Int(), false, 0};
  WriteFilterForm(date, filter.type);
  if (!date.empty()) {
    int month = 0, day = 0, year = 0;
    if (ScanMonthDayYear(date, &month, &day, &year) == 3) {
      filter.dated = true;
      filter.first_day = DayNumber(month, day, year);
    } else {
      WriteLine("<br><i>Invalid date format !</i><br>");
    }
  }

  WriteResultsHead();
  char line[kLineBuffer];
  int64_t record = 0;
  // Nothing after the last shown record changes the page, so the scan ends there.
  while (record <= start + kPageSpan && std::fgets(line, sizeof line, log.get()) != nullptr) {
    if (!filter.Passes(line)) continue;
    if (record >= start) WriteRecordRow(line);
    ++record;
  }
  WriteLine("</table>");
  WriteLine("<hr>");
  Write(
      "<b><input type=\"submit\" value=\"Go to line:\" name=\"B1\">"
      "<input type=\"text\" name=\"record\" size=\"20\" value=\"");
  WriteInt(static_cast<long>(start + kPageSpan));
  WriteLine("\"></b>");
  WriteLine("</form>");
  return 1;
}

}  // namespace vard
