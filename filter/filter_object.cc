#include "filter/filter_object.h"

#include <atomic>
#include <utility>

namespace vard {
namespace {

// Constant-initialised, so it is valid before any static constructor of the library runs.
std::atomic<FilterObject*> g_instance{nullptr};

}  // namespace

FilterObject::~FilterObject() = default;

DWORD FilterObject::HttpFilterProc(HTTP_FILTER_CONTEXT* context, DWORD notification_type,
                                   void* notification) {
  switch (notification_type) {
    case SF_NOTIFY_READ_RAW_DATA:
      return OnReadRawData(context, notification);
    case SF_NOTIFY_PREPROC_HEADERS:
      return OnPreprocHeaders(context, notification);
    case SF_NOTIFY_AUTHENTICATION:
      return OnAuthentication(context, static_cast<HTTP_FILTER_AUTHENT*>(notification));
    case SF_NOTIFY_URL_MAP:
      return OnUrlMap(context, notification);
    case SF_NOTIFY_SEND_RAW_DATA:
      return OnSendRawData(context, notification);
    case SF_NOTIFY_LOG:
      return OnLog(context, notification);
    case SF_NOTIFY_END_OF_NET_SESSION:
      return OnEndOfNetSession(context, notification);
    case SF_NOTIFY_END_OF_REQUEST:
      return OnEndOfRequest(context, notification);
    default:
      return SF_STATUS_REQ_NEXT_NOTIFICATION;
  }
}

DWORD FilterObject::OnReadRawData(HTTP_FILTER_CONTEXT*, void*) {
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}
DWORD FilterObject::OnPreprocHeaders(HTTP_FILTER_CONTEXT*, void*) {
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}
DWORD FilterObject::OnAuthentication(HTTP_FILTER_CONTEXT*, HTTP_FILTER_AUTHENT*) {
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}
DWORD FilterObject::OnUrlMap(HTTP_FILTER_CONTEXT*, void*) {
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}
DWORD FilterObject::OnSendRawData(HTTP_FILTER_CONTEXT*, void*) {
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}
DWORD FilterObject::OnLog(HTTP_FILTER_CONTEXT*, void*) { return SF_STATUS_REQ_NEXT_NOTIFICATION; }
DWORD FilterObject::OnEndOfNetSession(HTTP_FILTER_CONTEXT*, void*) {
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}
DWORD FilterObject::OnEndOfRequest(HTTP_FILTER_CONTEXT*, void*) {
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

FilterLifetime::FilterLifetime(std::unique_ptr<FilterObject> filter) : filter_(std::move(filter)) {
  g_instance.store(filter_.get(), std::memory_order_release);
}

FilterLifetime::~FilterLifetime() {
  FilterObject* expected = filter_.get();
  g_instance.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
}

BOOL ForwardGetFilterVersion(HTTP_FILTER_VERSION* version) {
  FilterObject* filter = g_instance.load(std::memory_order_acquire);
  return filter != nullptr ? filter->GetFilterVersion(version) : FALSE;
}

DWORD ForwardHttpFilterProc(HTTP_FILTER_CONTEXT* context, DWORD notification_type,
                            void* notification) {
  FilterObject* filter = g_instance.load(std::memory_order_acquire);
  return filter != nullptr ? filter->HttpFilterProc(context, notification_type, notification)
                           : SF_STATUS_REQ_NEXT_NOTIFICATION;
}

}  // namespace vard
