#include "filter/filter_object.h"

#include <memory>

#include "gtest/gtest.h"

namespace vard {
namespace {

// Answers every authentication with a marker and counts version queries.
class MarkerFilter : public FilterObject {
 public:
  BOOL GetFilterVersion(HTTP_FILTER_VERSION* version) override {
    version->dwFilterVersion = 7;
    return TRUE;
  }
  DWORD OnAuthentication(HTTP_FILTER_CONTEXT*, HTTP_FILTER_AUTHENT*) override {
    return SF_STATUS_REQ_FINISHED;
  }
};

TEST(FilterObjectTest, EntryPointsAnswerWithoutAnInstance) {
  HTTP_FILTER_VERSION version{};
  EXPECT_EQ(FALSE, ForwardGetFilterVersion(&version));
  HTTP_FILTER_AUTHENT credentials{};
  EXPECT_EQ(SF_STATUS_REQ_NEXT_NOTIFICATION,
            ForwardHttpFilterProc(nullptr, SF_NOTIFY_AUTHENTICATION, &credentials));
}

TEST(FilterObjectTest, ForwardsToTheRegisteredInstanceUntilItIsGone) {
  HTTP_FILTER_AUTHENT credentials{};
  HTTP_FILTER_VERSION version{};
  {
    FilterLifetime lifetime(std::make_unique<MarkerFilter>());
    EXPECT_EQ(TRUE, ForwardGetFilterVersion(&version));
    EXPECT_EQ(7u, version.dwFilterVersion);
    EXPECT_EQ(SF_STATUS_REQ_FINISHED,
              ForwardHttpFilterProc(nullptr, SF_NOTIFY_AUTHENTICATION, &credentials));
    // Notifications the filter does not handle, and unknown ones, are passed on.
    for (DWORD type : {SF_NOTIFY_READ_RAW_DATA, SF_NOTIFY_PREPROC_HEADERS, SF_NOTIFY_URL_MAP,
                       SF_NOTIFY_SEND_RAW_DATA, SF_NOTIFY_LOG, SF_NOTIFY_END_OF_NET_SESSION,
                       SF_NOTIFY_END_OF_REQUEST, 0u, 0x12345u}) {
      EXPECT_EQ(SF_STATUS_REQ_NEXT_NOTIFICATION, ForwardHttpFilterProc(nullptr, type, nullptr))
          << type;
    }
  }
  EXPECT_EQ(FALSE, ForwardGetFilterVersion(&version));
  EXPECT_EQ(SF_STATUS_REQ_NEXT_NOTIFICATION,
            ForwardHttpFilterProc(nullptr, SF_NOTIFY_AUTHENTICATION, &credentials));
}

}  // namespace
}  // namespace vard
