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
#include "schema/names.h"
#include "schema/password_hash.h"

namespace vard {
namespace {

// The text of a credential buffer: up to its terminator, never past its capacity.
std::string_view CredentialText(const char* buffer, DWORD capacity) {
  if (buffer == nullptr) return {};
  return std::string_view(buffer, strnlen(buffer, capacity));
}

// Whether `text` and its terminator fit a credential buffer.
bool FitsCredential(const char* buffer, DWORD capacity, std::string_view text) {
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
           std::string_view parameter2 = {}, DWORD error = 0)
      : outcome(outcome),
        event(event),
        parameter1(parameter1),
        parameter2(parameter2),
        error(error) {}

  Outcome outcome;
  Event event;
  std::string_view parameter1;
  std::string_view parameter2;
  DWORD error;                    // kFail: the reason left for the server
  std::string_view account_name;  // kMap: owned by the tree
  std::string_view account_password;
};

DWORD AuthFilter::HandleAuthentication(HTTP_FILTER_CONTEXT* request,
                                       HTTP_FILTER_AUTHENT* credentials) {
  // Unloaded (no configuration at load; a reload never unloads): not even the configuration file
  // is looked at.
  if (credentials == nullptr || loaded_.load(std::memory_order_acquire) == 0) {
    return SF_STATUS_REQ_NEXT_NOTIFICATION;
  }
  AcquireConfig();
  Scratch scratch;
  const std::string_view user = CredentialText(credentials->pszUser, credentials->cbUserBuff);
  const Decision decision = Decide(request, *credentials, user, scratch);
  LogEvent(request, decision.event, decision.parameter1, decision.parameter2);
  if (decision.outcome == Decision::Outcome::kMap) {
    CopyCredential(credentials->pszUser, decision.account_name);
    CopyCredential(credentials->pszPassword, decision.account_password);
  }
  ReleaseConfig();

  switch (decision.outcome) {
    case Decision::Outcome::kPassOn:
      return SF_STATUS_REQ_NEXT_NOTIFICATION;
    case Decision::Outcome::kAccept:
    case Decision::Outcome::kMap:
      return SF_STATUS_REQ_HANDLED_NOTIFICATION;
    case Decision::Outcome::kDeny:
      if (request != nullptr && request->ServerSupportFunction != nullptr) {
        request->ServerSupportFunction(request, SF_REQ_SEND_RESPONSE_HEADER, denial_status_.get(),
                                       0, 0);
      }
      return SF_STATUS_REQ_HANDLED_NOTIFICATION;
    case Decision::Outcome::kFail:
      SetLastError(decision.error);
      return SF_STATUS_REQ_ERROR;
  }
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

AuthFilter::Decision AuthFilter::Decide(HTTP_FILTER_CONTEXT* request,
                                        const HTTP_FILTER_AUTHENT& credentials,
                                        std::string_view user, Scratch& scratch) const {
  using Outcome = Decision::Outcome;
  const TreeSection& root = *root_;

  if (root.GetSection(kMain)->GetValue(kDisable)->GetInt() != 0) {
    return Decision(Outcome::kAccept, Event::kFilterDisabled);
  }
  if (user.empty()) return Decision(Outcome::kAccept, Event::kAnonymous);

  if (!ReadServerVariable(request, "SERVER_NAME", scratch.host, sizeof scratch.host)) {
    return Decision(Outcome::kFail, Event::kServerNameMissing, {}, {}, ERROR_FILE_NOT_FOUND);
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

  const TreeValue* binding = root.GetSection(kMain)->GetSection(kServers)->GetValue(key);
  if (binding->IsNull()) return Decision(Outcome::kPassOn, Event::kSiteNotHandled, key);

  const std::string_view authority_name = binding->GetString();
  const TreeSection* authority = root.GetSection(kAccounts)->GetSection(authority_name);
  if (authority->IsNull()) {
    return Decision(Outcome::kFail, Event::kAuthorityNotFound, key, authority_name,
                    ERROR_FILE_NOT_FOUND);
  }
  const std::string_view db = authority->GetName();

  const TreeSection* account = authority->GetSection(user);
  if (account->IsNull()) return Decision(Outcome::kDeny, Event::kUserNotFound, user, db);
  if (account->GetValue(kDisabled)->GetInt() != 0) {
    return Decision(Outcome::kDeny, Event::kAccountDisabled, user, db);
  }
  if (account->GetValue(kDoNotMap)->GetInt() != 0) {
    return Decision(Outcome::kAccept, Event::kNotMapped, user, db);
  }
  const std::string_view password =
      CredentialText(credentials.pszPassword, credentials.cbPasswordBuff);
  // A missing or empty stored password would let anyone who knows the name in.
  const std::string_view stored_password = account->GetValue(kPassword)->GetString();
  if (stored_password.empty()) return Decision(Outcome::kDeny, Event::kInvalidPassword, user, db);
  if (IsPasswordHash(stored_password)) {
    std::optional<Decision> refused =
        CheckHashedPassword(*account, user, db, password, stored_password);
    if (refused) return *refused;
  } else if (!SamePassword(password, stored_password)) {
    return Decision(Outcome::kDeny, Event::kInvalidPassword, user, db);
  }
  if (account->GetValue(kNoExpiration)->GetInt() == 0) {
    std::optional<Decision> expired = CheckExpiration(*authority, *account, user);
    if (expired) return *expired;
  }

  const TreeValue* map_to = account->GetValue(kMapTo);
  if (map_to->IsNull()) return Decision(Outcome::kDeny, Event::kMapToMissing, user, db);
  const std::string_view map_to_name = map_to->GetString();
  const TreeSection* nt_account = root.GetSection(kNtAccounts)->GetSection(map_to_name);
  if (nt_account->IsNull()) {
    return Decision(Outcome::kDeny, Event::kMapToAccountNotFound, map_to_name);
  }
  const std::string_view nt_name = nt_account->GetName();
  const std::string_view nt_password = nt_account->GetValue(kPassword)->GetString();
  // A cut name or password would make the server log on as another account, or fail in a way
  // nobody could trace: refuse to hand over anything but the whole credentials.
  if (!FitsCredential(credentials.pszUser, credentials.cbUserBuff, nt_name) ||
      !FitsCredential(credentials.pszPassword, credentials.cbPasswordBuff, nt_password)) {
    return Decision(Outcome::kFail, Event::kMappedAccountTooLong, user, db,
                    ERROR_INSUFFICIENT_BUFFER);
  }
  Decision success(Outcome::kMap, Event::kAuthenticated, user, db);
  success.account_name = nt_name;
  success.account_password = nt_password;
  return success;
}

std::optional<AuthFilter::Decision> AuthFilter::CheckHashedPassword(const TreeSection& account,
                                                                    std::string_view user,
                                                                    std::string_view db,
                                                                    std::string_view typed,
                                                                    std::string_view hash) const {
  using Outcome = Decision::Outcome;
  // Remembered under the stored name, so that every spelling of the name shares one entry.
  switch (password_verifier_.Verify(db, account.GetName(), hash, typed)) {
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

std::optional<AuthFilter::Decision> AuthFilter::CheckExpiration(const TreeSection& authority,
                                                                const TreeSection& account,
                                                                std::string_view user) const {
  using Outcome = Decision::Outcome;
  const std::string_view db = authority.GetName();
  const char* expire_date = account.GetValue(kExpireDate)->GetString();
  if (*expire_date == '\0') {
    if (authority.GetValue(kExpirationRequired)->GetInt() != 0) {
      return Decision(Outcome::kDeny, Event::kExpireDateMissing, user, db);
    }
    return std::nullopt;
  }
  int month = 0;
  int day = 0;
  int year = 0;
  if (!ReadExpireDate(expire_date, &month, &day, &year)) {
    return Decision(Outcome::kFail, Event::kExpireDateError, account.GetName(), db,
                    ERROR_BAD_CONFIGURATION);
  }
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
