// The order of a refusal as the server sees it, with the filter in the test's own process: the
// record is on file and the hold given back before the "401 Access Denied" status line goes out,
// so a slow client never keeps a replaced configuration alive.
#include <cstring>
#include <string>
#include <utility>

#include "filter/auth_filter.h"
#include "gtest/gtest.h"
#include "tests/filter_test_util.h"

namespace vard {
namespace {

// One request of alice at server1:80 that notes, when the filter sends a status line, what the
// filter and its log looked like at that moment.
class WatchedRequest {
 public:
  WatchedRequest(AuthFilter& filter, std::string log_path, const char* password)
      : filter_(filter), log_path_(std::move(log_path)) {
    std::strcpy(user_, "alice");
    std::strcpy(password_, password);
    context_.ServerContext = this;
    context_.GetServerVariable = &WatchedRequest::GetServerVariable;
    context_.ServerSupportFunction = &WatchedRequest::ServerSupportFunction;
    credentials_ = {user_, sizeof user_, password_, sizeof password_};
  }

  FilterStatus Send() {
    return filter_.HttpFilterProc(&context_, SF_NOTIFY_AUTHENTICATION, &credentials_).status;
  }

  int calls = 0;
  std::string status_line;
  ULONG_PTR headers = 1;
  int holds_when_sent = -1;
  size_t records_when_sent = 0;

 private:
  static BOOL GetServerVariable(PHTTP_FILTER_CONTEXT, LPSTR name, LPVOID buffer, LPDWORD size) {
    const char* value = std::strcmp(name, "SERVER_NAME") == 0   ? "server1"
                        : std::strcmp(name, "SERVER_PORT") == 0 ? "80"
                        : std::strcmp(name, "SCRIPT_NAME") == 0 ? "/index.htm"
                                                                : nullptr;
    if (value == nullptr || std::strlen(value) + 1 > *size) return FALSE;
    std::strcpy(static_cast<char*>(buffer), value);
    *size = static_cast<DWORD>(std::strlen(value) + 1);
    return TRUE;
  }

  static BOOL ServerSupportFunction(PHTTP_FILTER_CONTEXT pfc, DWORD request, LPVOID data,
                                    ULONG_PTR ul1, ULONG_PTR) {
    auto* self = static_cast<WatchedRequest*>(pfc->ServerContext);
    if (request != SF_REQ_SEND_RESPONSE_HEADER) return FALSE;
    ++self->calls;
    self->status_line = data != nullptr ? static_cast<const char*>(data) : "";
    self->headers = ul1;
    self->holds_when_sent = self->filter_.Holds();
    self->records_when_sent = test::ReadLines(self->log_path_).size();
    return TRUE;
  }

  AuthFilter& filter_;
  const std::string log_path_;
  char user_[64];
  char password_[64];
  HTTP_FILTER_CONTEXT context_{};
  HTTP_FILTER_AUTHENT credentials_{};
};

class DecisionOrderTest : public test::FilterFixture {};

TEST_F(DecisionOrderTest, RefusalIsRecordedAndReleasedBeforeTheStatusLine) {
  ASSERT_TRUE(config_.SaveTo(sandbox_.config_path()));
  AuthFilter filter;
  ASSERT_TRUE(filter.IsLoaded());

  WatchedRequest refused(filter, sandbox_.log_path(), "wrong");
  EXPECT_EQ(FilterStatus::kHandledNotification, refused.Send());
  EXPECT_EQ(1, refused.calls);
  EXPECT_EQ("401 Access Denied", refused.status_line);
  EXPECT_EQ(0u, refused.headers) << "no additional header text";
  EXPECT_EQ(0, refused.holds_when_sent);
  EXPECT_EQ(1u, refused.records_when_sent);

  WatchedRequest accepted(filter, sandbox_.log_path(), "secret");
  EXPECT_EQ(FilterStatus::kHandledNotification, accepted.Send());
  EXPECT_EQ(0, accepted.calls);
  EXPECT_EQ(0, filter.Holds());
}

}  // namespace
}  // namespace vard
