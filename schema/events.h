// The filter's event catalogue: the id of every decision record and the description that is
// written verbatim into the event log. The filter writes records with these; the log viewer lists
// and filters records by the same ids. Constants only, so safe from any thread.
#ifndef VARDOMAR_SCHEMA_EVENTS_H_
#define VARDOMAR_SCHEMA_EVENTS_H_

#include <array>

namespace vard {

// Ids as they appear in the first column of a log record. Id 1 has never been used.
enum class Event : int {
  kAuthenticated = 0,
  kFilterDisabled = 2,
  kUserNotFound = 3,
  kInvalidPassword = 4,
  kExpireDateError = 5,
  kAccountExpired = 6,
  kNotMapped = 7,
  kMapToMissing = 8,
  kMapToAccountNotFound = 9,
  kAnonymous = 10,
  kServerNameMissing = 11,
  kSiteNotHandled = 12,
  kAuthorityNotFound = 13,
  kAccountDisabled = 14,
  kExpireYearTooLarge = 15,
  kExpireDateMissing = 16,
  // The mapped account's name or password is longer than the server's credential buffers can
  // hold; handing over a cut name or password would log on as somebody else or fail obscurely.
  kMappedAccountTooLong = 17,
  // A changed configuration could not be loaded (the settings store names no readable file): the
  // filter goes on with the configuration it had, and tries again when the file or the store
  // changes. Written once per failed attempt, with the path and the reason.
  kReloadFailed = 18,
  // The user's stored password carries a hash prefix but is no valid hash of its format: nobody
  // can log on as this user until an administrator stores a new password.
  kStoredPasswordDamaged = 19,
  // More password hashes were being checked at once than the filter allows (a flood of guesses
  // would otherwise take every processor): the request is refused, the password unchecked.
  kPasswordCheckBusy = 20,
};

// Every event the filter writes, in id order. (The log viewer offers its own list of types with
// names of its own.)
inline constexpr std::array<Event, 20> kAllEvents = {
    Event::kAuthenticated,
    Event::kFilterDisabled,
    Event::kUserNotFound,
    Event::kInvalidPassword,
    Event::kExpireDateError,
    Event::kAccountExpired,
    Event::kNotMapped,
    Event::kMapToMissing,
    Event::kMapToAccountNotFound,
    Event::kAnonymous,
    Event::kServerNameMissing,
    Event::kSiteNotHandled,
    Event::kAuthorityNotFound,
    Event::kAccountDisabled,
    Event::kExpireYearTooLarge,
    Event::kExpireDateMissing,
    Event::kMappedAccountTooLong,
    Event::kReloadFailed,
    Event::kStoredPasswordDamaged,
    Event::kPasswordCheckBusy,
};

// The event's id as written in a record.
constexpr int EventId(Event event) { return static_cast<int>(event); }

// The description written verbatim into the record; never null.
constexpr const char* EventDescription(Event event) {
  switch (event) {
    case Event::kAuthenticated:
      return "OK Authenticated (UserName UserDB)";
    case Event::kFilterDisabled:
      return "Filter disabled";
    case Event::kUserNotFound:
      return "User not found (UserName UserDB)";
    case Event::kInvalidPassword:
      return "Invalid password (UserName UserDB)";
    case Event::kExpireDateError:
      return "Account expire date error (UserName UserDB)";
    case Event::kAccountExpired:
      return "Account expired (UserName UserDB)";
    case Event::kNotMapped:
      return "Mapping disabled - passing through (UserName UserDB)";
    case Event::kMapToMissing:
      return "MapTo not specified (UserName UserDB)";
    case Event::kMapToAccountNotFound:
      return "MapTo Account not found";
    case Event::kAnonymous:
      return "Anonymous request";
    case Event::kServerNameMissing:
      return "SERVER_NAME Header not found !";
    case Event::kSiteNotHandled:
      return "Site not handled (Binding)";
    case Event::kAuthorityNotFound:
      return "User data base for this site not found (Binding UserDB)";
    case Event::kAccountDisabled:
      return "Account disabled (UserName UserDB)";
    case Event::kExpireYearTooLarge:
      return "Expiration date > 2037 not supported (UserName UserDB)";
    case Event::kExpireDateMissing:
      return "Expiration date not found (UserName UserDB)";
    case Event::kMappedAccountTooLong:
      return "Mapped account too long for the credentials (UserName UserDB)";
    case Event::kReloadFailed:
      return "Configuration could not be reloaded - the previous one stays in force (Path Reason)";
    case Event::kStoredPasswordDamaged:
      return "Stored password hash is damaged (UserName UserDB)";
    case Event::kPasswordCheckBusy:
      return "Too many password checks at once - request refused (UserName UserDB)";
  }
  return "";
}

}  // namespace vard

#endif  // VARDOMAR_SCHEMA_EVENTS_H_
