#include "tests/filter_test_util.h"

#include <ctime>
#include <regex>

namespace vard::test {
namespace {

std::string TodayText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[48];
  std::snprintf(text, sizeof text, "%2d/%2d/%4d", local.tm_mon + 1, local.tm_mday,
                local.tm_year + 1900);
  return text;
}

}  // namespace

::testing::AssertionResult IsRecord(const std::string& line, Event event,
                                    std::string_view parameter1, std::string_view parameter2,
                                    std::string_view resource, std::string_view site) {
  const std::string prefix = std::to_string(EventId(event)) + ", ";
  const std::string suffix = ", " + std::string(EventDescription(event)) + ", " +
                             std::string(parameter1) + ", " + std::string(parameter2) + ", " +
                             std::string(resource) + ", " + std::string(site);
  if (line.size() < prefix.size() + suffix.size() || line.compare(0, prefix.size(), prefix) != 0 ||
      line.compare(line.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return ::testing::AssertionFailure()
           << "record\n  " << line << "\nis not\n  " << prefix << "<time>, <date>" << suffix;
  }
  const std::string when = line.substr(prefix.size(), line.size() - prefix.size() - suffix.size());
  static const std::regex kWhen(R"(([^,\r\n]+), ([ \d]\d/[ \d]\d/\d{4}))");
  std::smatch match;
  if (!std::regex_match(when, match, kWhen)) {
    return ::testing::AssertionFailure() << "bad time and date \"" << when << "\" in " << line;
  }
  if (match[2].str() != TodayText()) {
    return ::testing::AssertionFailure() << "date \"" << match[2] << "\" is not today in " << line;
  }
  return ::testing::AssertionSuccess();
}

FilterFixture::FilterFixture() {
  config_.Log(sandbox_.log_path())
      .Bind("server1", "Staff")
      .Bind("server1|81", "Staff")
      .Authority("Staff")
      .NtAccount("webstaff", "ntpass")
      .User("Staff", {.name = "alice", .password = "secret", .map_to = "webstaff"});
}

void FilterFixture::Start() {
  ASSERT_TRUE(config_.SaveTo(sandbox_.config_path()));
  std::string error;
  library_ = FilterLibrary::Load({}, &error);
  ASSERT_NE(nullptr, library_) << error;
}

ScriptedRequest FilterFixture::Alice(std::string_view password) {
  return ScriptedRequest::For("server1", "80", "alice", password);
}

}  // namespace vard::test
