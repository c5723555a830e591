#include "filter/filter_object.h"

#include <memory>

#include "gtest/gtest.h"

namespace vard {
namespace {

// Answers every authentication with a marker and counts version queries.
class MarkerFilter : public FilterObject {
 public:
  bool GetFilterVersion(HTTP_FILTER_VERSION* version) override {
    version->dwFilterVersion = 7;
    return true;
  }
  FilterAnswer OnAuthentication(HTTP_FILTER_CONTEXT*, HTTP_FILTER_AUTHENT*) override {
    return {FilterStatus::kError, FilterError::kBadConfiguration};
  }
};

TEST(FilterObjectTest, EntryPointsAnswerWithoutAnInstance) {
  HTTP_FILTER_VERSION version{};
  EXPECT_FALSE(ForwardGetFilterVersion(&version));
  HTTP_FILTER_AUTHENT credentials{};
  EXPECT_EQ(FilterStatus::kNextNotification,
            ForwardHttpFilterProc(nullptr, SF_NOTIFY_AUTHENTICATION, &credentials).status);
}

TEST(FilterObjectTest, ForwardsToTheRegisteredInstanceUntilItIsGone) {
  HTTP_FILTER_AUTHENT credentials{};
  HTTP_FILTER_VERSION version{};
  {
    FilterLifetime lifetime(std::make_unique<MarkerFilter>());
    EXPECT_TRUE(ForwardGetFilterVersion(&version));
    EXPECT_EQ(7u, version.dwFilterVersion);
    const FilterAnswer answer =
        ForwardHttpFilterProc(nullptr, SF_NOTIFY_AUTHENTICATION, &credentials);
    EXPECT_EQ(FilterStatus::kError, answer.status);
    EXPECT_EQ(FilterError::kBadConfiguration, answer.error);
    // Notifications the filter does not handle, and unknown ones, are passed on.
    for (uint32_t type : {SF_NOTIFY_READ_RAW_DATA, SF_NOTIFY_PREPROC_HEADERS, SF_NOTIFY_URL_MAP,
                          SF_NOTIFY_SEND_RAW_DATA, SF_NOTIFY_LOG, SF_NOTIFY_END_OF_NET_SESSION,
                          SF_NOTIFY_END_OF_REQUEST, 0u, 0x12345u}) {
      EXPECT_EQ(FilterStatus::kNextNotification,
                ForwardHttpFilterProc(nullptr, type, nullptr).status)
          << type;
    }
  }
  EXPECT_FALSE(ForwardGetFilterVersion(&version));
  EXPECT_EQ(FilterStatus::kNextNotification,
            ForwardHttpFilterProc(nullptr, SF_NOTIFY_AUTHENTICATION, &credentials).status);
}

}  // namespace
}  // namespace vard
