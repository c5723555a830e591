#include "filter/filter_object.h"

#include <atomic>
#include <utility>

namespace vard {
namespace {

// Constant-initialised, so it is valid before any static constructor of the library runs.
std::atomic<FilterObject*> g_instance{nullptr};

}  // namespace

FilterObject::~FilterObject() = default;

FilterAnswer FilterObject::HttpFilterProc(HTTP_FILTER_CONTEXT* context, uint32_t notification_type,
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
      return {};
  }
}

FilterAnswer FilterObject::OnReadRawData(HTTP_FILTER_CONTEXT*, void*) { return {}; }
FilterAnswer FilterObject::OnPreprocHeaders(HTTP_FILTER_CONTEXT*, void*) { return {}; }
FilterAnswer FilterObject::OnAuthentication(HTTP_FILTER_CONTEXT*, HTTP_FILTER_AUTHENT*) {
  return {};
}
FilterAnswer FilterObject::OnUrlMap(HTTP_FILTER_CONTEXT*, void*) { return {}; }
FilterAnswer FilterObject::OnSendRawData(HTTP_FILTER_CONTEXT*, void*) { return {}; }
FilterAnswer FilterObject::OnLog(HTTP_FILTER_CONTEXT*, void*) { return {}; }
FilterAnswer FilterObject::OnEndOfNetSession(HTTP_FILTER_CONTEXT*, void*) { return {}; }
FilterAnswer FilterObject::OnEndOfRequest(HTTP_FILTER_CONTEXT*, void*) { return {}; }

FilterLifetime::FilterLifetime(std::unique_ptr<FilterObject> filter) : filter_(std::move(filter)) {
  g_instance.store(filter_.get(), std::memory_order_release);
}

FilterLifetime::~FilterLifetime() {
  FilterObject* expected = filter_.get();
  g_instance.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
}

bool ForwardGetFilterVersion(HTTP_FILTER_VERSION* version) {
  FilterObject* filter = g_instance.load(std::memory_order_acquire);
  return filter != nullptr && filter->GetFilterVersion(version);
}

FilterAnswer ForwardHttpFilterProc(HTTP_FILTER_CONTEXT* context, uint32_t notification_type,
                                   void* notification) {
  FilterObject* filter = g_instance.load(std::memory_order_acquire);
  return filter != nullptr ? filter->HttpFilterProc(context, notification_type, notification)
                           : FilterAnswer{};
}

}  // namespace vard
