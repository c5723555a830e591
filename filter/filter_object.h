// The filter library's entry layer: the base class of a filter object, which turns one
// notification of the web server into a call of the matching virtual handler, and the one
// process-wide instance that the library's two exported entry points forward to. Handlers answer
// in the filter's own terms (FilterAnswer); only the exported entry points speak the interface's
// status and error codes. Dispatching is stateless; registering and clearing the instance are
// atomic, but the host must not call the entry points while the library is being loaded or
// unloaded.
#ifndef VARDOMAR_FILTER_FILTER_OBJECT_H_
#define VARDOMAR_FILTER_FILTER_OBJECT_H_

#include <cstdint>
#include <memory>

#include "platform/isapi.h"

namespace vard {

// What a handler does with the request it was notified of.
enum class FilterStatus {
  kNextNotification,     // passes it on, unchanged, to the next filter and the server
  kHandledNotification,  // has dealt with it: accepted, accepted with new credentials, or refused
  kError,                // fails it, for the reason in FilterAnswer::error
};

// Why a handler failed a request.
enum class FilterError {
  kNone,
  kNotFound,          // the request's site, or the authority bound to it, cannot be found
  kBufferTooSmall,    // the mapped account's credentials do not fit the server's buffers
  kBadConfiguration,  // the configuration holds a value that cannot be read
};

// A handler's answer to one notification.
struct FilterAnswer {
  FilterStatus status = FilterStatus::kNextNotification;
  FilterError error = FilterError::kNone;  // set only with FilterStatus::kError
};

// A filter object: one virtual handler per notification, in the layer's fixed slot order. Every
// handler of the base passes the notification on. Owned by the FilterLifetime that created it.
class FilterObject {
 public:
  FilterObject() = default;
  FilterObject(const FilterObject&) = delete;
  FilterObject& operator=(const FilterObject&) = delete;
  virtual ~FilterObject();

  // Calls the handler of `notification_type` (an SF_NOTIFY_* value) with `notification` (the
  // server's block for that notification, borrowed for the call) and returns its answer; an
  // unknown type is passed on.
  virtual FilterAnswer HttpFilterProc(HTTP_FILTER_CONTEXT* context, uint32_t notification_type,
                                      void* notification);

  // Fills the version block: the filter's revision, description and the notifications it wants.
  // true when it was filled.
  virtual bool GetFilterVersion(HTTP_FILTER_VERSION* version) = 0;

  // The notification handlers.
  virtual FilterAnswer OnReadRawData(HTTP_FILTER_CONTEXT* context, void* notification);
  virtual FilterAnswer OnPreprocHeaders(HTTP_FILTER_CONTEXT* context, void* notification);
  virtual FilterAnswer OnAuthentication(HTTP_FILTER_CONTEXT* context,
                                        HTTP_FILTER_AUTHENT* credentials);
  virtual FilterAnswer OnUrlMap(HTTP_FILTER_CONTEXT* context, void* notification);
  virtual FilterAnswer OnSendRawData(HTTP_FILTER_CONTEXT* context, void* notification);
  virtual FilterAnswer OnLog(HTTP_FILTER_CONTEXT* context, void* notification);
  virtual FilterAnswer OnEndOfNetSession(HTTP_FILTER_CONTEXT* context, void* notification);
  virtual FilterAnswer OnEndOfRequest(HTTP_FILTER_CONTEXT* context, void* notification);
};

// Owns the library's filter object from load to unload and registers it as the instance the
// entry points forward to. At most one should exist at a time; destroying it unregisters the
// object before deleting it.
class FilterLifetime {
 public:
  explicit FilterLifetime(std::unique_ptr<FilterObject> filter);
  FilterLifetime(const FilterLifetime&) = delete;
  FilterLifetime& operator=(const FilterLifetime&) = delete;
  ~FilterLifetime();

 private:
  std::unique_ptr<FilterObject> filter_;
};

// What the exported GetFilterVersion does: forwards to the registered instance; false when there
// is none.
bool ForwardGetFilterVersion(HTTP_FILTER_VERSION* version);

// What the exported HttpFilterProc does: forwards to the registered instance's dispatcher; passes
// the request on when there is none.
FilterAnswer ForwardHttpFilterProc(HTTP_FILTER_CONTEXT* context, uint32_t notification_type,
                                   void* notification);

}  // namespace vard

#endif  // VARDOMAR_FILTER_FILTER_OBJECT_H_
