// AuthFilter: the authentication filter object. It keeps the configuration loaded from the file
// the settings store names (in the compact form of FilterConfig), reloads it when the file
// changes (its last-write time or the identity of the file behind the path; writing a backup copy
// of the configuration it replaces), decides every authentication notification against it and
// appends one event record per decision. A reload loads the new configuration beside the one in
// force, on a thread of its own that yields the processor to the requests, and swaps it in: no
// request waits for it, but the one that noticed a change to a small file, and that one only for
// kClaimWaitMs (long enough to decide with the new configuration at once). A reload that cannot
// load the file keeps the configuration in force and is tried again when the file or the settings
// store changes. Many server threads call it at once; the fields below say which atomic or lock
// guards each of them.
#ifndef VARDOMAR_FILTER_AUTH_FILTER_H_
#define VARDOMAR_FILTER_AUTH_FILTER_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "filter/backup_name.h"
#include "filter/file_version_cell.h"
#include "filter/filter_config.h"
#include "filter/filter_object.h"
#include "filter/password_verifier.h"
#include "filter/reload_gate.h"
#include "filter/snapshot_cell.h"
#include "platform/background_thread.h"
#include "platform/isapi.h"
#include "schema/events.h"
#include "tree/tree_node.h"

namespace vard {

// The longest configuration path the filter accepts, in characters. A longer path is treated as
// unreadable rather than cut, since a cut path names some other file.
inline constexpr size_t kMaxConfigPath = 259;

// The status line of a refusal.
inline constexpr char kDenialStatus[] = "401 Access Denied";

// How much the loading thread yields to the threads answering requests, as an increment of its
// nice value. Every server process loads every saved version for itself, and on a busy server
// those loads at the requests' own priority took the processor from them: with 30 saves of 100 000
// users in 15 s (bench/apache_stress.sh) a yield of 0 kept 0.82x of the quiet throughput with a
// 99th percentile of 350 ms, 10 kept 0.90x with 160 ms, and 19 gave no shorter tail (243 ms).
// Yielding more would also let a flood of requests hold a changed configuration (a removed user,
// say) out of force for longer.
inline constexpr int kReloadNiceIncrement = 10;

// How long the request that noticed a change waits for the reload it started before it decides
// with the configuration in force, when it waits at all (kClaimWaitMaxBytes).
inline constexpr int64_t kClaimWaitMs = 500;

// The largest file whose reload the request that noticed it waits for: one that loads in a few
// milliseconds, so that on a small site the request that follows a save already decides with what
// was saved. A larger file loads while every request, the noticing one included, decides with the
// configuration in force: with 30 saves of 100 000 users in 15 s (bench/apache_stress.sh), the
// noticing requests' waits took the 99th percentile of all requests from 34-66 ms to 142-221 ms.
inline constexpr int64_t kClaimWaitMaxBytes = int64_t{1} << 20;

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
  // priority, and the description from the string table. true; false only for a null block.
  bool GetFilterVersion(HTTP_FILTER_VERSION* version) override;

  // The authentication notification: HandleAuthentication.
  FilterAnswer OnAuthentication(HTTP_FILTER_CONTEXT* request,
                                HTTP_FILTER_AUTHENT* credentials) override;

  // Decides one request: passes it on (kNextNotification), accepts it as it is or with the
  // mapped account's credentials written into `credentials`, refuses it with the
  // "401 Access Denied" status line (kHandledNotification), or fails it (kError, with the
  // reason in FilterAnswer::error). Writes one event record unless the filter is Unloaded. The
  // whole decision uses one configuration, the one in force when it began; a request that
  // arrives while another loads a changed file decides with the configuration in force.
  // `request` and `credentials` stay the caller's; a null `credentials` is passed on untouched.
  FilterAnswer HandleAuthentication(HTTP_FILTER_CONTEXT* request, HTTP_FILTER_AUTHENT* credentials);

  // A hold on one configuration: it stays valid and unchanged while the hold lasts, even after a
  // reload put another in force. Null while the filter is Unloaded.
  using ConfigHold = SnapshotCell<FilterConfig>::Hold;

  // Reloads the configuration when its file changed (see ReloadIfChanged), then holds the one in
  // force. Waits only in the thread that claims the reload, at most kClaimWaitMs.
  ConfigHold AcquireConfig();

  // When the file's version differs from the loaded one in any part (a last-write time earlier or
  // later, another file renamed into place, another size or status), or after a failed reload
  // the settings store or the file it names changed, no reload is under way and none finished
  // since the version was read, and no other thread claims the reload at this moment: claims
  // it, starts the loader thread on the file the settings store names now, beside the
  // configuration in force, waits for it at most kClaimWaitMs when the file holds at most
  // kClaimWaitMaxBytes, and returns true (see Reload).
  // Returns false without doing anything otherwise, always while the filter is Unloaded, and
  // without examining the file while the reload check interval (ReloadGate) keeps this request from
  // it. A calling thread that holds a configuration delays the reload's end, not its own.
  bool ReloadIfChanged();

  // The configuration file's version now: its last-write time in nanoseconds since 1970 with the
  // identity and size of the file. The loaded version when the file cannot be examined, so that a
  // missing file counts as unchanged.
  FileVersion ConfigFileTime() const;

  // Appends the record of `event` with its two parameters (any text; CR and LF are written as
  // spaces) to the log file the configuration `rules` names. Silent when the filter is Unloaded,
  // no log file is configured or it cannot be written. `rules` must stay valid for the call
  // (held, or the one in force in the reloading thread).
  void LogEvent(const FilterConfig& rules, HTTP_FILTER_CONTEXT* request, Event event,
                std::string_view parameter1, std::string_view parameter2);

  // Whether a configuration is loaded, a reload is under way, and the number of holds now (for
  // tests and diagnostics).
  bool IsLoaded() const { return loaded_.load(std::memory_order_acquire) != 0; }
  bool IsReloading() const { return reloading_.load(std::memory_order_acquire) != 0; }
  int Holds() const { return config_.Holds(); }

 private:
  struct Decision;
  struct Scratch;

  // The steps of the decision that run while holding the configuration `rules`; they only read
  // it and the request. `scratch` holds the texts the decision's parameters point into.
  Decision Decide(const FilterConfig& rules, HTTP_FILTER_CONTEXT* request,
                  const HTTP_FILTER_AUTHENT& credentials, std::string_view user,
                  Scratch& scratch) const;
  // The check of a typed password against the user's stored hash: the refusal, or nothing when
  // it matched. May wait for a verification slot (PasswordVerifier::kBusyWaitMs at most).
  std::optional<Decision> CheckHashedPassword(const FilterConfig::User& account,
                                              std::string_view user, std::string_view db,
                                              std::string_view typed) const;
  // The expiration rules for a user whose password matched: the refusal or failure, or nothing
  // when the user may go on to the mapping.
  std::optional<Decision> CheckExpiration(const FilterConfig::Authority& authority,
                                          const FilterConfig::User& account,
                                          std::string_view user) const;

  // Reads "Configuration File" from the settings store into config_path_, records the file's
  // version in config_time_ (all zero when it is missing) and reads the form decisions read of a
  // new configuration into `rules`, and, only when "Backup directory" is set (the backup copies
  // need it), the file's text, from which that form was read, into `text` (else null). true when
  // the file opened; false with the path and the reason of the failure in `failed_path` and
  // `reason` (config_path_ then names the file to watch). Only the constructor and the reloading
  // thread call it.
  bool LoadFromSettings(std::unique_ptr<std::string>* text,
                        std::unique_ptr<const FilterConfig>* rules, std::string* failed_path,
                        std::string* reason);
  // The reload a claim started, on the loader thread (or the claiming one when no thread could
  // be made): loads the file the settings store names now beside the configuration in force.
  // When it loads, its configuration is put in force, the backup copy of the one it replaced is
  // written once the decisions still using it have finished (when a backup directory is
  // configured now and was when the replaced one was loaded), and the replaced one is freed by
  // this thread. When it does not (no store, no value, a path too long, a file that cannot be
  // opened), the configuration in force stays and one kReloadFailed record says why. Ends the
  // claim.
  void Reload();
  // Whether the configuration's sources changed since they were loaded, or since the last
  // reload failed (then a missing file and the settings store count too). `file` receives the
  // version of the file that was examined.
  bool SourcesChanged(FileVersion* file) const;
  // Writes the backup copy of the configuration being replaced from backup_text_ when
  // "Backup directory" names a directory, then keeps the saved text of `fresh`, the text of the
  // configuration replacing it, in that directory for its own copy (none without a text, which
  // is read only when the directory is named). Constructor (without a copy to write) and
  // reloading thread only, after the new configuration is in force: the tree that gives the saved
  // text costs more than the form.
  void RollBackupText(std::unique_ptr<std::string> fresh, bool write_copy);
  // Makes `path` the one ConfigFileTime examines (see config_path_).
  void SetConfigPath(std::string_view path);

  // Read-mostly state, read by every request.
  // loaded_: atomic; written only by the constructor. A reload never clears it: a failed one
  // keeps the configuration in force.
  std::atomic<int32_t> loaded_{0};
  // reload_failed_: atomic flag, written by the reloading thread (set when its load failed,
  // cleared when one succeeded) and read by every request's file check.
  std::atomic<int32_t> reload_failed_{0};
  // reloading_: atomic flag, the claim of the reload: set by the request that claims it with one
  // compare-exchange (so one reload at a time) and cleared by Reload as its last act, read by
  // every request, which then skips the file check: the reload under way will be followed by a
  // check of its own.
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
  // denial_status_: a writable copy of kDenialStatus for the host's send-header call, which takes
  // a non-const pointer. Set by the constructor, only read afterwards, so it needs no guard.
  const std::unique_ptr<char[]> denial_status_;
  // reload_gate_: guards itself (see its header); its interval is set with every load.
  ReloadGate reload_gate_;
  // password_verifier_: guards itself (see its header). Mutable because a decision, which only
  // reads the configuration, remembers the hashed passwords that verified.
  mutable PasswordVerifier password_verifier_;

  // config_: the configuration in force, held by every request for its decision (SnapshotCell
  // guards itself and keeps its hold counts on cache lines of their own). Published by the
  // constructor and then only by the reloading thread.
  SnapshotCell<FilterConfig> config_;
  // backup_text_: the text of the configuration in force for its backup copy; null when no
  // backup directory was named when it was loaded, or the text could not be kept there. Used
  // only by the constructor and the thread that runs Reload.
  std::unique_ptr<BackupText> backup_text_;
  // reloader_: the loader thread, started by the request that claims a reload; guards itself.
  // Declared last, and joined first by the destructor, since Reload uses every field above.
  BackgroundThread reloader_;
};

}  // namespace vard

#endif  // VARDOMAR_FILTER_AUTH_FILTER_H_
