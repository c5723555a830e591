// AuthFilter: the authentication filter object. It keeps the configuration tree loaded from the
// file the settings store names, reloads it when the file changes (its last-write time or the
// identity of the file behind the path; writing a backup copy of the tree it replaces), decides
// every authentication notification against it and appends one event record per decision. A
// reload that cannot load the file keeps the configuration in force and is tried again when the
// file or the settings store changes. Many server threads call it at once; the fields below say
// which atomic or lock guards each of them.
#ifndef VARDOMAR_FILTER_AUTH_FILTER_H_
#define VARDOMAR_FILTER_AUTH_FILTER_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filter/file_version_cell.h"
#include "filter/filter_object.h"
#include "filter/password_verifier.h"
#include "platform/isapi.h"
#include "schema/events.h"
#include "tree/tree_node.h"

namespace vard {

// The longest configuration path the filter accepts, in characters. A longer path is treated as
// unreadable rather than cut, since a cut path names some other file.
inline constexpr size_t kMaxConfigPath = 259;

// The status line of a refusal.
inline constexpr char kDenialStatus[] = "401 Access Denied";

// One per loaded library, owned by the library's FilterLifetime (tests own their own). All public
// operations are safe from many threads at once.
class AuthFilter : public FilterObject {
 public:
  // Reads "Configuration File" from the settings store and loads that file. The filter is
  // Loaded when the file opened, else Unloaded for good (it then passes every request on).
  // Writes no event record.
  AuthFilter();
  ~AuthFilter() override;

  // Revision 4.0, the authentication notification on secure and non-secure ports at medium
  // priority, and the description from the string table. TRUE; FALSE only for a null block.
  BOOL GetFilterVersion(HTTP_FILTER_VERSION* version) override;

  // The authentication notification: HandleAuthentication.
  DWORD OnAuthentication(HTTP_FILTER_CONTEXT* request, HTTP_FILTER_AUTHENT* credentials) override;

  // Decides one request: passes it on (SF_STATUS_REQ_NEXT_NOTIFICATION), accepts it as it is or
  // with the mapped account's credentials written into `credentials`, refuses it with the
  // "401 Access Denied" status line (SF_STATUS_REQ_HANDLED_NOTIFICATION), or fails it
  // (SF_STATUS_REQ_ERROR, with the reason left by SetLastError). Writes one event record unless
  // the filter is Unloaded; a request that arrives while a reload replaces the tree waits for the
  // new one. `request` and `credentials` stay the caller's; a null `credentials` is passed on
  // untouched.
  DWORD HandleAuthentication(HTTP_FILTER_CONTEXT* request, HTTP_FILTER_AUTHENT* credentials);

  // Reloads the configuration when its file changed, then takes a hold on it: until the matching
  // ReleaseConfig no reload replaces the tree. Blocks while a reload runs.
  void AcquireConfig();

  // Gives back one hold; the count never goes below 0. Wakes a reload waiting for the last one.
  void ReleaseConfig();

  // When the file's version differs from the loaded one in any part (a last-write time earlier or
  // later, another file renamed into place, another size or status), or after a failed reload
  // the settings store or the file it names changed, no reload is under way and none finished
  // since the version was read: claims the reload, waits until no hold is left, loads the file
  // the settings store names now and returns true. When that file loads, the backup copy of the
  // current tree is written (when a backup directory is configured) and the new tree replaces
  // it. When it does not (no store, no value, a path too long, a file that cannot be opened), the
  // current tree stays in force and one kReloadFailed record says why. Returns false without
  // doing anything otherwise, and always while the filter is Unloaded.
  bool ReloadIfChanged();

  // The configuration file's version now: its last-write time in nanoseconds since 1970 with the
  // identity and size of the file. The loaded version when the file cannot be examined, so that a
  // missing file counts as unchanged.
  FileVersion ConfigFileTime() const;

  // Appends the record of `event` with its two parameters (any text; CR and LF are written as
  // spaces) to the log file the configuration names. Silent when the filter is Unloaded, no log
  // file is configured or it cannot be written. Must be called while holding the configuration.
  void LogEvent(HTTP_FILTER_CONTEXT* request, Event event, std::string_view parameter1,
                std::string_view parameter2);

  // Whether a configuration is loaded, a reload is under way, and the number of holds now (for
  // tests and diagnostics).
  bool IsLoaded() const { return loaded_.load(std::memory_order_acquire) != 0; }
  bool IsReloading() const { return reloading_.load(std::memory_order_acquire) != 0; }
  int Holds() const { return holds_.load(std::memory_order_acquire); }

 private:
  struct Decision;
  struct Scratch;

  // The steps of the decision that run while holding the configuration; they only read the tree
  // and the request. `scratch` holds the texts the decision's parameters point into.
  Decision Decide(HTTP_FILTER_CONTEXT* request, const HTTP_FILTER_AUTHENT& credentials,
                  std::string_view user, Scratch& scratch) const;
  // The check of a typed password against the user's stored hash: the refusal, or nothing when
  // it matched. May wait for a verification slot (PasswordVerifier::kBusyWaitMs at most).
  std::optional<Decision> CheckHashedPassword(const TreeSection& account, std::string_view user,
                                              std::string_view db, std::string_view typed,
                                              std::string_view hash) const;
  // The expiration rules for a user whose password matched: the refusal or failure, or nothing
  // when the user may go on to the mapping.
  std::optional<Decision> CheckExpiration(const TreeSection& authority, const TreeSection& account,
                                          std::string_view user) const;

  // Reads "Configuration File" from the settings store into config_path_, records the file's
  // version in config_time_ (all zero when it is missing) and loads a new root from it into
  // `root`. true when the file opened; false with the path and the reason of the failure in
  // `failed_path` and `reason` (config_path_ then names the file to watch). Only the constructor
  // and the reloading thread call it.
  bool LoadFromSettings(std::unique_ptr<TreeSection>* root, std::string* failed_path,
                        std::string* reason);
  // Whether the configuration's sources changed since they were loaded, or since the last
  // reload failed (then a missing file and the settings store count too).
  bool SourcesChanged() const;
  // Writes the backup copy of root_ when "Backup directory" names one. Reloading thread only.
  void WriteBackupCopy();
  // Makes `path` the one ConfigFileTime examines (see config_path_).
  void SetConfigPath(std::string_view path);
  // Waits until no reload is under way (blocking, not polling).
  void WaitWhileReloading();

  // Read-mostly state, read by every request.
  // loaded_: atomic; written only by the constructor. A reload never clears it: a failed one
  // keeps the tree in force.
  std::atomic<int32_t> loaded_{0};
  // reload_failed_: atomic flag, written by the reloading thread (set when its load failed,
  // cleared when one succeeded) and read by every request's file check.
  std::atomic<int32_t> reload_failed_{0};
  // reloading_: atomic flag, set by the thread that claims a reload (under mu_) and cleared by
  // it at the end (under mu_); read by every request. A request adds its hold and then tests
  // reloading_; the reloading thread sets reloading_ and then tests holds_ (both sequentially
  // consistent), so either the request backs off or the reload waits for it.
  std::atomic<int32_t> reloading_{0};
  // config_time_: the version of the configuration file as read just before the tree was loaded
  // from it, so that a save landing during the load still counts as a change (at worst the same
  // content is loaded twice). Stored only by the constructor and the reloading thread, read whole
  // without a lock by every request's file check (FileVersionCell). Meaningless while Unloaded.
  FileVersionCell config_time_;
  // store_time_: the version of the settings store (all zero when missing) as read before a
  // failed reload read it; compared only while reload_failed_ is set. Stored only by the
  // reloading thread.
  FileVersionCell store_time_;
  // reloads_: atomic count of finished reloads, written by the reloading thread just before it
  // clears reloading_. A file version read before a reload finished is stale: compared with the
  // version that reload recorded it would start a second reload of the same file and write a
  // second copy of the same configuration.
  std::atomic<uint64_t> reloads_{0};
  // config_path_: atomic pointer to an immutable text in path_pool_ (or the empty text). A
  // request may examine the file while a reload switches paths, so texts are never changed in
  // place or freed before the filter: a new path is added to the pool only when it differs from
  // every path seen so far (a handful in the life of a web server).
  std::atomic<const char*> config_path_;
  // path_pool_: the owned path texts; changed only by the constructor and the reloading thread.
  std::vector<std::unique_ptr<char[]>> path_pool_;
  // root_: the configuration. Read by requests between AcquireConfig and ReleaseConfig; replaced
  // only by the reloading thread after holds_ drained to 0 with reloading_ set, so it is never
  // read and written at the same time.
  std::unique_ptr<TreeSection> root_;
  // denial_status_: a writable copy of kDenialStatus for the host's send-header call, which takes
  // a non-const pointer. Set by the constructor, only read afterwards, so it needs no guard.
  const std::unique_ptr<char[]> denial_status_;
  // password_verifier_: guards itself (see its header). Mutable because a decision, which only
  // reads the configuration, remembers the hashed passwords that verified.
  mutable PasswordVerifier password_verifier_;

  // holds_: atomic hold count, written twice by every request, so it has a cache line of its own
  // and the read-mostly fields above stay shared between processors.
  alignas(64) std::atomic<int32_t> holds_{0};
  // mu_: makes "test reloading_, compare the file version, set reloading_" one step, and guards
  // the two waits (no field is read or written only under it).
  alignas(64) std::mutex mu_;
  std::condition_variable holds_drained_;  // notified when holds_ reaches 0 during a reload
  std::condition_variable reload_done_;    // notified when reloading_ is cleared
};

}  // namespace vard

#endif  // VARDOMAR_FILTER_AUTH_FILTER_H_
