// The filter library's entry layer: the base class of a filter object, which turns one
// notification of the web server into a call of the matching virtual handler, and the one
// process-wide instance that the library's two exported entry points forward to. Dispatching is
// stateless; registering and clearing the instance are atomic, but the host must not call the
// entry points while the library is being loaded or unloaded.
#ifndef VARDOMAR_FILTER_FILTER_OBJECT_H_
#define VARDOMAR_FILTER_FILTER_OBJECT_H_

#include <memory>

#include "platform/isapi.h"

namespace vard {

// A filter object: one virtual handler per notification, in the layer's fixed slot order. Every
// handler of the base passes the notification on. Owned by the FilterLifetime that created it.
class FilterObject {
 public:
  FilterObject() = default;
  FilterObject(const FilterObject&) = delete;
  FilterObject& operator=(const FilterObject&) = delete;
  virtual ~FilterObject();

  // Calls the handler of `notification_type` with `notification` (the server's block for that
  // notification, borrowed for the call) and returns its SF_STATUS_REQ_* answer; an unknown type
  // is passed on (SF_STATUS_REQ_NEXT_NOTIFICATION).
  virtual DWORD HttpFilterProc(HTTP_FILTER_CONTEXT* context, DWORD notification_type,
                               void* notification);

  // Fills the version block: the filter's revision, description and the notifications it wants.
  // TRUE when it was filled.
  virtual BOOL GetFilterVersion(HTTP_FILTER_VERSION* version) = 0;

  // The notification handlers; each returns an SF_STATUS_REQ_* value.
  virtual DWORD OnReadRawData(HTTP_FILTER_CONTEXT* context, void* notification);
  virtual DWORD OnPreprocHeaders(HTTP_FILTER_CONTEXT* context, void* notification);
  virtual DWORD OnAuthentication(HTTP_FILTER_CONTEXT* context, HTTP_FILTER_AUTHENT* credentials);
  virtual DWORD OnUrlMap(HTTP_FILTER_CONTEXT* context, void* notification);
  virtual DWORD OnSendRawData(HTTP_FILTER_CONTEXT* context, void* notification);
  virtual DWORD OnLog(HTTP_FILTER_CONTEXT* context, void* notification);
  virtual DWORD OnEndOfNetSession(HTTP_FILTER_CONTEXT* context, void* notification);
  virtual DWORD OnEndOfRequest(HTTP_FILTER_CONTEXT* context, void* notification);
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

// The exported GetFilterVersion: forwards to the registered instance; FALSE when there is none.
BOOL ForwardGetFilterVersion(HTTP_FILTER_VERSION* version);

// The exported HttpFilterProc: forwards to the registered instance's dispatcher;
// SF_STATUS_REQ_NEXT_NOTIFICATION when there is none.
DWORD ForwardHttpFilterProc(HTTP_FILTER_CONTEXT* context, DWORD notification_type,
                            void* notification);

}  // namespace vard

#endif  // VARDOMAR_FILTER_FILTER_OBJECT_H_
