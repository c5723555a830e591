// The authentication decision of AuthFilter: from the request's site, the visitor's credentials
// and the configuration to one of pass on, accept, accept with the mapped account, refuse or
// fail, with one event record.
#include <climits>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "filter/auth_filter.h"
#include "filter/server_variable.h"
#include "platform/env.h"
#include "schema/binding_key.h"
#include "schema/expire_date.h"

namespace vard {
namespace {

// The text of a credential buffer: up to its terminator, never past its capacity.
std::string_view CredentialText(const char* buffer, uint32_t capacity) {
  if (buffer == nullptr) return {};
  return std::string_view(buffer, strnlen(buffer, capacity));
}

// Whether `text` and its terminator fit a credential buffer.
bool FitsCredential(const char* buffer, uint32_t capacity, std::string_view text) {
  return buffer != nullptr && text.size() < capacity;
}

// Whether the typed password is the stored one, taking the same time wherever they differ: a
// comparison that stops at the first differing byte tells a visitor timing it how much of a
// guess was right. Only the length shows.
bool SamePassword(std::string_view typed, std::string_view stored) {
  if (typed.size() != stored.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < typed.size(); ++i) {
    difference |= static_cast<unsigned char>(typed[i] ^ stored[i]);
  }
  return difference == 0;
}

void CopyCredential(char* buffer, std::string_view text) {
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
}

// The latest instant that is representable: times are signed 32-bit seconds since 1970.
constexpr int64_t kLastInstant = INT32_MAX;

}  // namespace

// Working buffers of one decision. The event parameters may point into them, so they live until
// the record is written.
struct AuthFilter::Scratch {
  char host[260];
  char port[32];
  char key[260];
  // A binding key too long for `key`, kept whole for the record.
  std::string long_key;
};

// What the decision concluded and the record it writes.
struct AuthFilter::Decision {
  enum class Outcome { kPassOn, kAccept, kDeny, kFail, kMap };

  Decision(Outcome outcome, Event event, std::string_view parameter1 = {},
           std::string_view parameter2 = {}, FilterError error = FilterError::kNone)
      : outcome(outcome),
        event(event),
        parameter1(parameter1),
        parameter2(parameter2),
        error(error) {}

  Outcome outcome;
  Event event;
  std::string_view parameter1;
  std::string_view parameter2;
  FilterError error;              // kFail: the reason given to the server
  std::string_view account_name;  // kMap: owned by the configuration
  std::string_view account_password;
};

FilterAnswer AuthFilter::HandleAuthentication(HTTP_FILTER_CONTEXT* request,
                                              HTTP_FILTER_AUTHENT* credentials) {
  // Unloaded (no configuration at load; a reload never unloads): not even the configuration file
  // is looked at.
  if (credentials == nullptr || loaded_.load(std::memory_order_acquire) == 0) {
    return {FilterStatus::kNextNotification};
  }
  Scratch scratch;
  const std::string_view user = CredentialText(credentials->pszUser, credentials->cbUserBuff);
  // The hold ends with the lambda, before the status line goes out, so a slow client never keeps
  // a replaced tree alive; afterwards only the outcome and the error are read.
  const Decision decision = [&] {
    const ConfigHold config = AcquireConfig();
    const Decision decided = Decide(*config, request, *credentials, user, scratch);
    LogEvent(*config, request, decided.event, decided.parameter1, decided.parameter2);
    if (decided.outcome == Decision::Outcome::kMap) {
      CopyCredential(credentials->pszUser, decided.account_name);
      CopyCredential(credentials->pszPassword, decided.account_password);
    }
    return decided;
  }();

  switch (decision.outcome) {
    case Decision::Outcome::kPassOn:
      return {FilterStatus::kNextNotification};
    case Decision::Outcome::kAccept:
    case Decision::Outcome::kMap:
      return {FilterStatus::kHandledNotification};
    case Decision::Outcome::kDeny:
      if (request != nullptr && request->ServerSupportFunction != nullptr) {
        request->ServerSupportFunction(request, SF_REQ_SEND_RESPONSE_HEADER, denial_status_.get(),
                                       0, 0);
      }
      return {FilterStatus::kHandledNotification};
    case Decision::Outcome::kFail:
      return {FilterStatus::kError, decision.error};
  }
  return {FilterStatus::kNextNotification};
}

AuthFilter::Decision AuthFilter::Decide(const FilterConfig& rules, HTTP_FILTER_CONTEXT* request,
                                        const HTTP_FILTER_AUTHENT& credentials,
                                        std::string_view user, Scratch& scratch) const {
  using Outcome = Decision::Outcome;

  if (rules.disabled()) {
    return Decision(Outcome::kAccept, Event::kFilterDisabled);
  }
  if (user.empty()) return Decision(Outcome::kAccept, Event::kAnonymous);

  if (!ReadServerVariable(request, "SERVER_NAME", scratch.host, sizeof scratch.host)) {
    return Decision(Outcome::kFail, Event::kServerNameMissing, {}, {}, FilterError::kNotFound);
  }
  // Without a port only the host is known, and its key is the host alone, as for port 80.
  const std::string_view port =
      ReadServerVariable(request, "SERVER_PORT", scratch.port, sizeof scratch.port)
          ? std::string_view(scratch.port)
          : std::string_view("80");
  if (!BindingKeyFromServer(scratch.host, port, scratch.key, sizeof scratch.key)) {
    // No binding can carry a key this long, a cut key could name another site's binding, and so
    // could a host holding the host/port separator: the site is not handled.
    scratch.long_key = std::string(scratch.host) + "|" + std::string(port);
    return Decision(Outcome::kPassOn, Event::kSiteNotHandled, scratch.long_key);
  }
  const std::string_view key = scratch.key;

  std::string_view authority_name;
  if (!rules.FindBinding(key, &authority_name)) {
    return Decision(Outcome::kPassOn, Event::kSiteNotHandled, key);
  }
  FilterConfig::Authority authority;
  if (!rules.FindAuthority(authority_name, &authority)) {
    return Decision(Outcome::kFail, Event::kAuthorityNotFound, key, authority_name,
                    FilterError::kNotFound);
  }
  const std::string_view db = authority.name;

  FilterConfig::User account;
  if (!rules.FindUser(authority, user, &account)) {
    return Decision(Outcome::kDeny, Event::kUserNotFound, user, db);
  }
  if (account.disabled) return Decision(Outcome::kDeny, Event::kAccountDisabled, user, db);
  if (account.do_not_map) return Decision(Outcome::kAccept, Event::kNotMapped, user, db);
  const std::string_view password =
      CredentialText(credentials.pszPassword, credentials.cbPasswordBuff);
  // A missing or empty stored password would let anyone who knows the name in.
  if (account.password.empty()) {
    return Decision(Outcome::kDeny, Event::kInvalidPassword, user, db);
  }
  if (account.password_is_hash) {
    std::optional<Decision> refused = CheckHashedPassword(account, user, db, password);
    if (refused) return *refused;
  } else if (!SamePassword(password, account.password)) {
    return Decision(Outcome::kDeny, Event::kInvalidPassword, user, db);
  }
  if (!account.no_expiration) {
    std::optional<Decision> expired = CheckExpiration(authority, account, user);
    if (expired) return *expired;
  }

  if (!account.has_map_to) return Decision(Outcome::kDeny, Event::kMapToMissing, user, db);
  FilterConfig::Account nt_account;
  if (!rules.FindAccount(account.map_to, &nt_account)) {
    return Decision(Outcome::kDeny, Event::kMapToAccountNotFound, account.map_to);
  }
  const std::string_view nt_name = nt_account.name;
  const std::string_view nt_password = nt_account.password;
  // A cut name or password would make the server log on as another account, or fail in a way
  // nobody could trace: refuse to hand over anything but the whole credentials.
  if (!FitsCredential(credentials.pszUser, credentials.cbUserBuff, nt_name) ||
      !FitsCredential(credentials.pszPassword, credentials.cbPasswordBuff, nt_password)) {
    return Decision(Outcome::kFail, Event::kMappedAccountTooLong, user, db,
                    FilterError::kBufferTooSmall);
  }
  Decision success(Outcome::kMap, Event::kAuthenticated, user, db);
  success.account_name = nt_name;
  success.account_password = nt_password;
  return success;
}

std::optional<AuthFilter::Decision> AuthFilter::CheckHashedPassword(
    const FilterConfig::User& account, std::string_view user, std::string_view db,
    std::string_view typed) const {
  using Outcome = Decision::Outcome;
  // Remembered under the stored name, so that every spelling of the name shares one entry.
  switch (password_verifier_.Verify(db, account.name, account.password, typed)) {
    case PasswordVerifier::Result::kMatch:
      return std::nullopt;
    case PasswordVerifier::Result::kMismatch:
      return Decision(Outcome::kDeny, Event::kInvalidPassword, user, db);
    case PasswordVerifier::Result::kDamaged:
      return Decision(Outcome::kDeny, Event::kStoredPasswordDamaged, user, db);
    case PasswordVerifier::Result::kBusy:
      return Decision(Outcome::kDeny, Event::kPasswordCheckBusy, user, db);
  }
  return Decision(Outcome::kDeny, Event::kStoredPasswordDamaged, user, db);
}

std::optional<AuthFilter::Decision> AuthFilter::CheckExpiration(
    const FilterConfig::Authority& authority, const FilterConfig::User& account,
    std::string_view user) const {
  using Outcome = Decision::Outcome;
  const std::string_view db = authority.name;
  if (account.expire_form == FilterConfig::ExpireForm::kNone) {
    if (authority.expiration_required) {
      return Decision(Outcome::kDeny, Event::kExpireDateMissing, user, db);
    }
    return std::nullopt;
  }
  if (account.expire_form == FilterConfig::ExpireForm::kUnreadable) {
    return Decision(Outcome::kFail, Event::kExpireDateError, account.name, db,
                    FilterError::kBadConfiguration);
  }
  const int month = account.month;
  const int day = account.day;
  const int year = account.year;
  // The year as typed, before months beyond December carry into later years.
  if (year > kLastSupportedYear) {
    return Decision(Outcome::kDeny, Event::kExpireYearTooLarge, user, db);
  }
  // The account works up to and including local midnight at the start of the given day. An
  // instant outside the 32-bit range of times (before 1970, after January 2038) has passed.
  Env* env = Env::Default();
  int64_t expires = 0;
  if (!env->LocalMidnightToSeconds(year, month, day, &expires) || expires < 0 ||
      expires > kLastInstant || env->NowSeconds() > expires) {
    return Decision(Outcome::kDeny, Event::kAccountExpired, user, db);
  }
  return std::nullopt;
}

}  // namespace vard
