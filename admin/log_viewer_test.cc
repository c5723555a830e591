// Process tests of the event log viewer: filters, paging and what the cells show.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "admin/pages_test_support.h"

namespace vard::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

// A configuration whose log is `log_path`.
std::string ConfigWithLog(const std::string& log_path) {
  return "{ MAIN:\n    (string)log=" + log_path +
         "\n    { SERVERS:\n    } SERVERS;\n} MAIN;\n{ NTACCOUNTS:\n} NTACCOUNTS;\n"
         "{ ACCOUNTS:\n} ACCOUNTS;\n";
}

// One record as the filter writes it.
std::string Record(int id, std::string_view date, std::string_view user) {
  return std::to_string(id) + ", 2:05 PM, " + std::string(date) + ", Some event, " +
         std::string(user) + ", Staff, /default.htm, server1\n";
}

// A site whose log holds `log`.
struct LogSite {
  explicit LogSite(const std::string& log) : site(std::nullopt) {
    WriteFile(site.dir().File("events.log"), log);
    WriteFile(site.config_path(), ConfigWithLog(site.dir().File("events.log")));
  }
  CgiSite site;
};

// The cells of each record row of the results table.
std::vector<std::vector<std::string>> Rows(const std::string& content) {
  constexpr std::string_view kRow = "<tr><td nowrap bgcolor=\"#E0E0E0\">";
  constexpr std::string_view kCell = "<td nowrap bgcolor=\"#E0E0E0\">";
  std::vector<std::vector<std::string>> rows;
  for (size_t row = content.find(kRow); row != std::string::npos;
       row = content.find(kRow, row + 1)) {
    const size_t row_end = content.find("</tr>", row);
    std::vector<std::string> cells;
    for (size_t cell = content.find(kCell, row); cell < row_end;
         cell = content.find(kCell, cell + 1)) {
      const size_t start = cell + kCell.size();
      cells.push_back(content.substr(start, content.find("</td>", start) - start));
    }
    rows.push_back(cells);
  }
  return rows;
}

// Parameter 1 (the user) of each row shown.
std::vector<std::string> Users(const std::string& content) {
  std::vector<std::string> users;
  for (const auto& cells : Rows(content)) users.push_back(cells.size() > 4 ? cells[4] : "?");
  return users;
}

std::vector<std::string> UserRange(int first, int last) {
  std::vector<std::string> users;
  for (int i = first; i <= last; ++i) users.push_back(" u" + std::to_string(i));
  return users;
}

TEST(LogViewer, WithoutAReadableLogTheCellStaysEmpty) {
  CgiSite no_path(kEmptyConfig);
  EXPECT_EQ(RunAdmin(no_path, "ViewLog").content, "");
  CgiSite missing(ConfigWithLog("/nonexistent/dir/events.log"));
  EXPECT_EQ(RunAdmin(missing, "ViewLog").content, "");
  CgiSite directory(std::nullopt);
  WriteFile(directory.config_path(), ConfigWithLog(directory.dir().path()));
  EXPECT_EQ(RunAdmin(directory, "ViewLog").content, "");
  // A pipe without a writer would block a plain open for good.
  CgiSite pipe(std::nullopt);
  const std::string fifo = pipe.dir().File("events.log");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  WriteFile(pipe.config_path(), ConfigWithLog(fifo));
  EXPECT_EQ(RunAdmin(pipe, "ViewLog").content, "");
}

TEST(LogViewer, TheMenuLinkListsSuccessesOnly) {
  std::string log;
  for (int i = 0; i < 6; ++i)
    log += Record(i % 2 == 0 ? 0 : 4, " 3/ 7/2001", "u" + std::to_string(i));
  LogSite log_site(log);
  const AdminPage page = RunAdmin(log_site.site, "ViewLog");
  EXPECT_THAT(Users(page.content), ElementsAre(" u0", " u2", " u4"));
  EXPECT_THAT(page.content,
              HasSubstr("<option selected value=\"0\">Authentication success</option>"));
  EXPECT_THAT(page.content, HasSubstr("<option value=\"-1\">ALL EVENTS</option>"));
  EXPECT_EQ(CountOf(page.content, "<option"), 17);
  EXPECT_EQ(CountOf(page.content, "selected"), 1);

  const AdminPage all = RunAdmin(log_site.site, "ViewLog", FormBody({{"type", "-1"}}));
  EXPECT_THAT(Users(all.content), ElementsAre(" u0", " u1", " u2", " u3", " u4", " u5"));
  EXPECT_EQ(CountOf(all.content, "selected"), 0);
  EXPECT_THAT(Users(RunAdmin(log_site.site, "ViewLog", FormBody({{"type", "4"}})).content),
              ElementsAre(" u1", " u3", " u5"));
}

TEST(LogViewer, PagesShowFiftyOneRecordsCountedAmongThoseThatPass) {
  std::string log;
  for (int i = 0; i < 120; ++i) log += Record(0, " 3/ 7/2001", "u" + std::to_string(i));
  LogSite log_site(log);
  const CgiSite& site = log_site.site;

  const AdminPage first = RunAdmin(site, "ViewLog");
  EXPECT_EQ(Users(first.content), UserRange(0, 50));
  EXPECT_THAT(first.content, HasSubstr("name=\"record\" size=\"20\" value=\"50\""));

  EXPECT_EQ(Users(RunAdmin(site, "ViewLog", FormBody({{"record", "50"}})).content),
            UserRange(50, 100));
  const AdminPage before_start = RunAdmin(site, "ViewLog", FormBody({{"record", "-10"}}));
  EXPECT_EQ(Users(before_start.content), UserRange(0, 40));
  EXPECT_THAT(before_start.content, HasSubstr("name=\"record\" size=\"20\" value=\"40\""));
  EXPECT_EQ(
      Users(RunAdmin(site, "ViewLog", FormBody({{"record", "70"}, {"Again", "List"}})).content),
      UserRange(0, 50));
  EXPECT_THAT(Users(RunAdmin(site, "ViewLog", FormBody({{"record", "500"}})).content), IsEmpty());

  // Numbers count only the records of the chosen type.
  std::string mixed;
  for (int i = 0; i < 120; ++i)
    mixed += Record(i % 2 == 0 ? 4 : 0, " 3/ 7/2001", "u" + std::to_string(i));
  LogSite mixed_site(mixed);
  const std::vector<std::string> shown = Users(
      RunAdmin(mixed_site.site, "ViewLog", FormBody({{"type", "4"}, {"record", "10"}})).content);
  ASSERT_EQ(shown.size(), 50u);
  EXPECT_EQ(shown.front(), " u20");
  EXPECT_EQ(shown.back(), " u118");
}

TEST(LogViewer, DateLimitListsTheLimitDayAndLater) {
  LogSite log_site(Record(0, " 3/ 6/2001", "before") + Record(0, " 3/ 7/2001", "same") +
                   Record(0, " 2/ 1/2002", "later") + Record(0, " xx", "undated") + "0, 2:05 PM\n");
  const CgiSite& site = log_site.site;
  for (const char* limit : {"3/ 7/2001", "3/7/2001", "2/35/2001"}) {
    SCOPED_TRACE(limit);
    const AdminPage page = RunAdmin(site, "ViewLog", FormBody({{"date", limit}}));
    EXPECT_THAT(Users(page.content), ElementsAre(" same", " later", " undated", ""));
    EXPECT_THAT(page.content, Not(HasSubstr("Invalid date format !")));
  }
  // Month 13 carries into the next year.
  EXPECT_THAT(Users(RunAdmin(site, "ViewLog", FormBody({{"date", "13/1/2001"}})).content),
              ElementsAre(" later", " undated", ""));

  const AdminPage bad = RunAdmin(site, "ViewLog", FormBody({{"date", "3-7-2001"}}));
  EXPECT_THAT(bad.content, HasSubstr("<br><i>Invalid date format !</i><br>"));
  EXPECT_EQ(Users(bad.content).size(), 5u);
  EXPECT_THAT(bad.content, HasSubstr("name=\"date\" size=\"20\" value=\"3-7-2001\""));
}

TEST(LogViewer, CellsShowTheFieldsEscapedAndEmptyWhenMissing) {
  const std::string overlong = "0, 1:00, 1/1/2001, " + std::string(3000, 'x') + "\n";
  LogSite log_site(
      "0, 1:00, 1/1/2001, desc, <script>alert('x')</script>, A, /r, s\n"
      "0\n"
      "0, 1:00, 1/1/2001, desc, last,first, A, /r, s\n" +
      overlong);
  const AdminPage page = RunAdmin(log_site.site, "ViewLog", FormBody({{"type", "-1"}}));
  EXPECT_THAT(page.content, Not(HasSubstr("<script>")));
  const auto rows = Rows(page.content);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0][4], " &lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;");
  EXPECT_THAT(rows[1], ElementsAre("0", "", "", "", "", "", "", ""));
  EXPECT_THAT(rows[2],
              ElementsAre("0", " 1:00", " 1/1/2001", " desc", " last", "first", " A", " /r"));
  // A line longer than the line buffer is listed in pieces.
  EXPECT_EQ(rows[3][3].size(), 2047u - std::string("0, 1:00, 1/1/2001, ").size() + 1);
  EXPECT_THAT(rows[4][0], testing::StartsWith("xxx"));
}

}  // namespace
}  // namespace vard::test
