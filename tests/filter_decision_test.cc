// The authentication decision as a web server sees it: every event through vardfilt.so's
// exports, with its outcome, status, errno and record, and the order in which the rules apply.
#include <string>

#include "gtest/gtest.h"
#include "schema/names.h"
#include "tests/filter_test_util.h"

namespace vard::test {
namespace {

constexpr char kDenied[] = "401 Access Denied";

class FilterDecisionTest : public FilterFixture {
 protected:
  // Sends `request` and checks that exactly one record was added, which IsRecord accepts.
  AuthResult SendAndExpectRecord(const ScriptedRequest& request, Event event,
                                 std::string_view parameter1, std::string_view parameter2,
                                 std::string_view site = "server1") {
    const size_t before = LogLines().size();
    AuthResult result = Send(request);
    const std::vector<std::string> lines = LogLines();
    EXPECT_EQ(before + 1, lines.size());
    if (!lines.empty()) {
      EXPECT_TRUE(IsRecord(lines.back(), event, parameter1, parameter2, "/index.htm", site));
    }
    return result;
  }

  // The outcomes, each with credentials as typed unless mapped.
  static void ExpectMapped(const AuthResult& result, std::string_view user,
                           std::string_view password) {
    EXPECT_EQ(SF_STATUS_REQ_HANDLED_NOTIFICATION, result.status);
    EXPECT_EQ(0, result.status_lines_sent);
    EXPECT_EQ(user, result.user);
    EXPECT_EQ(password, result.password);
  }
  static void ExpectUnchanged(const AuthResult& result, const ScriptedRequest& request) {
    EXPECT_EQ(request.user, result.user);
    EXPECT_EQ(request.password, result.password);
  }
  static void ExpectAccepted(const AuthResult& result, const ScriptedRequest& request) {
    EXPECT_EQ(SF_STATUS_REQ_HANDLED_NOTIFICATION, result.status);
    EXPECT_EQ(0, result.status_lines_sent);
    ExpectUnchanged(result, request);
  }
  static void ExpectDenied(const AuthResult& result, const ScriptedRequest& request) {
    EXPECT_EQ(SF_STATUS_REQ_HANDLED_NOTIFICATION, result.status);
    EXPECT_EQ(1, result.status_lines_sent);
    EXPECT_EQ(kDenied, result.status_line);
    ExpectUnchanged(result, request);
  }
  static void ExpectFailed(const AuthResult& result, const ScriptedRequest& request, int error) {
    EXPECT_EQ(SF_STATUS_REQ_ERROR, result.status);
    EXPECT_EQ(error, result.error);
    EXPECT_EQ(0, result.status_lines_sent);
    ExpectUnchanged(result, request);
  }
  static void ExpectPassedOn(const AuthResult& result, const ScriptedRequest& request) {
    EXPECT_EQ(SF_STATUS_REQ_NEXT_NOTIFICATION, result.status);
    EXPECT_EQ(0, result.status_lines_sent);
    ExpectUnchanged(result, request);
  }

  UserEntry Alice2(std::string expire_date) {
    return {.name = "alice",
            .password = "secret",
            .map_to = "webstaff",
            .expire_date = std::move(expire_date)};
  }
};

TEST_F(FilterDecisionTest, MapsAKnownUserToItsNtAccount) {
  Start();
  ExpectMapped(SendAndExpectRecord(Alice(), Event::kAuthenticated, "alice", "Staff"), "webstaff",
               "ntpass");
  // The same authority on another port of the site.
  ExpectMapped(Send(ScriptedRequest::For("server1", "81", "alice", "secret")), "webstaff",
               "ntpass");
}

TEST_F(FilterDecisionTest, NamesAreFoundWhateverTheirLetterCase) {
  config_.root().GetSection(kNtAccounts)->Remove("webstaff");
  config_.Bind("server1", "STAFF").NtAccount("WebStaff", "ntpass");
  Start();
  // The record carries the name as typed and the authority as stored; the server gets the NT
  // account's stored name.
  const AuthResult result =
      SendAndExpectRecord(ScriptedRequest::For("SERVER1", "80", "ALICE", "secret"),
                          Event::kAuthenticated, "ALICE", "Staff", "SERVER1");
  ExpectMapped(result, "WebStaff", "ntpass");
}

TEST_F(FilterDecisionTest, DisabledFilterAcceptsEveryRequestAsItIs) {
  config_.Disable(1);
  Start();
  for (const ScriptedRequest& request :
       {Alice("wrong"), ScriptedRequest::For("server1", "80", "", ""),
        ScriptedRequest::For("elsewhere", "80", "bob", "x")}) {
    const AuthResult result =
        SendAndExpectRecord(request, Event::kFilterDisabled, "", "", request.variables[0].second);
    ExpectAccepted(result, request);
  }
  EXPECT_NE(std::string::npos, LogLines().back().find("Filter disabled, , , /index.htm"));
}

TEST_F(FilterDecisionTest, AnonymousRequestIsAcceptedBeforeAnySiteCheck) {
  Start();
  const ScriptedRequest request = ScriptedRequest::For("elsewhere", "80", "", "");
  ExpectAccepted(SendAndExpectRecord(request, Event::kAnonymous, "", "", "elsewhere"), request);
}

TEST_F(FilterDecisionTest, MissingOrOverlongServerNameFails) {
  Start();
  ScriptedRequest request = Alice();
  request.Variable("SERVER_NAME", "", false);
  ExpectFailed(SendAndExpectRecord(request, Event::kServerNameMissing, "", "", ""), request,
               ERROR_FILE_NOT_FOUND);
  request.Variable("SERVER_NAME", std::string(260, 'h'));
  ExpectFailed(SendAndExpectRecord(request, Event::kServerNameMissing, "", "", ""), request,
               ERROR_FILE_NOT_FOUND);
}

TEST_F(FilterDecisionTest, SiteWithoutBindingIsPassedOnWithItsKey) {
  Start();
  ScriptedRequest request = ScriptedRequest::For("server2", "80", "alice", "secret");
  ExpectPassedOn(SendAndExpectRecord(request, Event::kSiteNotHandled, "server2", "", "server2"),
                 request);
  request = ScriptedRequest::For("server1", "8080", "alice", "secret");
  ExpectPassedOn(SendAndExpectRecord(request, Event::kSiteNotHandled, "server1|8080", ""), request);
  // Without a port the key is the host alone.
  request = Alice();
  request.Variable("SERVER_PORT", "", false);
  ExpectMapped(Send(request), "webstaff", "ntpass");
}

TEST_F(FilterDecisionTest, HostHoldingTheSeparatorCannotReachAnotherPortsBinding) {
  // "server1|81" on port 80 would otherwise build the key of server1 on port 81.
  config_.Bind("server1|81", "Staff");
  Start();
  ScriptedRequest request = ScriptedRequest::For("server1|81", "80", "alice", "secret");
  ExpectPassedOn(
      SendAndExpectRecord(request, Event::kSiteNotHandled, "server1|81|80", "", "server1|81"),
      request);
  request.Variable("SERVER_PORT", "", false);
  ExpectPassedOn(
      SendAndExpectRecord(request, Event::kSiteNotHandled, "server1|81|80", "", "server1|81"),
      request);
}

TEST_F(FilterDecisionTest, BindingKeyTooLongForItsBufferIsNeverCut) {
  // 260 characters: one more than the key buffer holds. The record shows the whole key.
  const std::string host(255, 'h');
  config_.Bind(host, "Staff");
  Start();
  const ScriptedRequest request = ScriptedRequest::For(host, "8080", "alice", "secret");
  ExpectPassedOn(SendAndExpectRecord(request, Event::kSiteNotHandled, host + "|8080", "", host),
                 request);
}

TEST_F(FilterDecisionTest, BindingToAMissingAuthorityFails) {
  config_.Bind("server3", "Nobody");
  Start();
  const ScriptedRequest request = ScriptedRequest::For("server3", "80", "alice", "secret");
  ExpectFailed(
      SendAndExpectRecord(request, Event::kAuthorityNotFound, "server3", "Nobody", "server3"),
      request, ERROR_FILE_NOT_FOUND);
}

TEST_F(FilterDecisionTest, UnknownUserIsRefused) {
  Start();
  const ScriptedRequest request = ScriptedRequest::For("server1", "80", "bob", "secret");
  ExpectDenied(SendAndExpectRecord(request, Event::kUserNotFound, "bob", "Staff"), request);
}

TEST_F(FilterDecisionTest, DisabledAccountIsRefusedEvenWhenNotMapped) {
  config_.User("Staff", {.name = "alice", .password = "secret", .do_not_map = 1, .disabled = 1});
  Start();
  ExpectDenied(SendAndExpectRecord(Alice(), Event::kAccountDisabled, "alice", "Staff"), Alice());
}

TEST_F(FilterDecisionTest, UnmappedUserPassesWithoutPasswordOrExpirationCheck) {
  config_.User("Staff",
               {.name = "alice", .password = "secret", .do_not_map = 1, .expire_date = "1/1/2000"});
  config_.root().GetSection(kAccounts)->GetSection("Staff")->GetSection("alice")->Remove(kMapTo);
  Start();
  ExpectAccepted(SendAndExpectRecord(Alice("wrong"), Event::kNotMapped, "alice", "Staff"),
                 Alice("wrong"));
}

TEST_F(FilterDecisionTest, PasswordIsComparedExactlyBeforeTheExpiration) {
  config_.User("Staff", Alice2("1/1/2000"));
  Start();
  ExpectDenied(SendAndExpectRecord(Alice("Secret"), Event::kInvalidPassword, "alice", "Staff"),
               Alice("Secret"));
  ExpectDenied(SendAndExpectRecord(Alice("secret "), Event::kInvalidPassword, "alice", "Staff"),
               Alice("secret "));
}

// A hand-written user without a password ("Password=" reads back as missing) must not open the
// account to anyone who knows its name.
TEST_F(FilterDecisionTest, UserWithoutAStoredPasswordIsRefusedWhateverIsTyped) {
  config_.User("Staff", {.name = "alice", .password = "", .map_to = "webstaff"});
  config_.User("Staff", {.name = "bob", .password = "secret", .map_to = "webstaff"});
  config_.root().GetSection(kAccounts)->GetSection("Staff")->GetSection("bob")->Remove(kPassword);
  Start();
  for (const char* user : {"alice", "bob"}) {
    for (const char* typed : {"", "secret"}) {
      const ScriptedRequest request = ScriptedRequest::For("server1", "80", user, typed);
      ExpectDenied(SendAndExpectRecord(request, Event::kInvalidPassword, user, "Staff"), request);
    }
  }
}

TEST_F(FilterDecisionTest, UnreadableExpirationDateFailsNamingTheStoredUser) {
  config_.User("Staff", Alice2("soon"));
  Start();
  const ScriptedRequest request = ScriptedRequest::For("server1", "80", "ALICE", "secret");
  ExpectFailed(SendAndExpectRecord(request, Event::kExpireDateError, "alice", "Staff"), request,
               ERROR_BAD_CONFIGURATION);
}

TEST_F(FilterDecisionTest, NoExpirationWinsOverAnyDateRule) {
  UserEntry alice = Alice2("soon");
  alice.no_expiration = 1;
  config_.Authority("Staff", 1).User("Staff", alice);
  Start();
  ExpectMapped(Send(Alice()), "webstaff", "ntpass");
  EXPECT_TRUE(IsRecord(LogLines().back(), Event::kAuthenticated, "alice", "Staff"));
}

TEST_F(FilterDecisionTest, PastDatesAreExpired) {
  Start();
  for (const char* date : {"1/1/05", "1/1/2000", "31/12/2001", "1/1/1960"}) {
    config_.User("Staff", Alice2(date));
    ASSERT_TRUE(config_.SaveTo(sandbox_.config_path()));
    ExpectDenied(SendAndExpectRecord(Alice(), Event::kAccountExpired, "alice", "Staff"), Alice());
  }
}

TEST_F(FilterDecisionTest, YearsAfter2037AreNotSupported) {
  config_.User("Staff", Alice2("1/1/2038"));
  Start();
  ExpectDenied(SendAndExpectRecord(Alice(), Event::kExpireYearTooLarge, "alice", "Staff"), Alice());
  config_.User("Staff", Alice2("12/31/2037"));
  ASSERT_TRUE(config_.SaveTo(sandbox_.config_path()));
  ExpectMapped(Send(Alice()), "webstaff", "ntpass");
}

TEST_F(FilterDecisionTest, RequiredExpirationDateMustBeThere) {
  config_.Authority("Staff", 1);
  Start();
  ExpectDenied(SendAndExpectRecord(Alice(), Event::kExpireDateMissing, "alice", "Staff"), Alice());
  config_.Authority("Staff", 0);
  ASSERT_TRUE(config_.SaveTo(sandbox_.config_path()));
  ExpectMapped(Send(Alice()), "webstaff", "ntpass");
}

TEST_F(FilterDecisionTest, MappedUserWithoutMapToIsRefused) {
  config_.root().GetSection(kAccounts)->GetSection("Staff")->GetSection("alice")->Remove(kMapTo);
  Start();
  ExpectDenied(SendAndExpectRecord(Alice(), Event::kMapToMissing, "alice", "Staff"), Alice());
}

TEST_F(FilterDecisionTest, MapToAnUnknownAccountIsRefused) {
  config_.User("Staff", {.name = "alice", .password = "secret", .map_to = "ghost"});
  Start();
  ExpectDenied(SendAndExpectRecord(Alice(), Event::kMapToAccountNotFound, "ghost", ""), Alice());
}

TEST_F(FilterDecisionTest, MappedAccountMustFitTheCredentialBuffersWhole) {
  const std::string name(20, 'n');
  const std::string password(30, 'p');
  config_.NtAccount(name, password)
      .User("Staff", {.name = "alice", .password = "secret", .map_to = name});
  Start();
  ScriptedRequest request = Alice();
  request.user_capacity = 20;
  ExpectFailed(SendAndExpectRecord(request, Event::kMappedAccountTooLong, "alice", "Staff"),
               request, ERROR_INSUFFICIENT_BUFFER);
  request.user_capacity = 21;
  request.password_capacity = 30;
  ExpectFailed(SendAndExpectRecord(request, Event::kMappedAccountTooLong, "alice", "Staff"),
               request, ERROR_INSUFFICIENT_BUFFER);
  request.password_capacity = 31;
  ExpectMapped(SendAndExpectRecord(request, Event::kAuthenticated, "alice", "Staff"), name,
               password);
}

TEST_F(FilterDecisionTest, LoggedTextsCannotStartAnotherRecord) {
  Start();
  const ScriptedRequest request =
      ScriptedRequest::For("server1", "80", "eve\r\n0, 1:00, 1/ 1/2001, forged", "x");
  ExpectDenied(SendAndExpectRecord(request, Event::kUserNotFound, "eve  0, 1:00, 1/ 1/2001, forged",
                                   "Staff"),
               request);
}

TEST_F(FilterDecisionTest, WithoutALogPathNoFileIsWritten) {
  config_.Log("");
  Start();
  ExpectMapped(Send(Alice()), "webstaff", "ntpass");
  ExpectDenied(Send(Alice("wrong")), Alice("wrong"));
  EXPECT_FALSE(PathExists(sandbox_.log_path()));
}

TEST_F(FilterDecisionTest, OtherNotificationsArePassedOnWithoutARecord) {
  Start();
  HostRequest request(Alice());
  for (DWORD type : {SF_NOTIFY_READ_RAW_DATA, SF_NOTIFY_PREPROC_HEADERS, SF_NOTIFY_URL_MAP,
                     SF_NOTIFY_LOG, SF_NOTIFY_END_OF_REQUEST}) {
    EXPECT_EQ(SF_STATUS_REQ_NEXT_NOTIFICATION,
              library_->HttpFilterProc(request.context(), type, request.credentials()));
  }
  EXPECT_FALSE(PathExists(sandbox_.log_path()));
}

}  // namespace
}  // namespace vard::test
