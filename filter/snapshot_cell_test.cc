#include "filter/snapshot_cell.h"

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "gtest/gtest.h"

namespace vard {
namespace {

// Readers hammer the cell while values are published one after another: each reader sees the
// values in order, a held value never changes under it, and each publish hands back the value
// before it. Under ThreadSanitizer a value freed while held shows as a race.
TEST(SnapshotCellTest, HoldersSeeWholeValuesInOrderWhilePublishesGoOn) {
  SnapshotCell<int> cell;
  EXPECT_EQ(nullptr, cell.Acquire().get());
  EXPECT_EQ(nullptr, cell.Publish(std::make_unique<const int>(0)));
  constexpr int kValues = 20000;
  std::atomic<bool> stop{false};
  std::atomic<int> faults{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&] {
      int last = 0;
      while (!stop.load()) {
        const SnapshotCell<int>::Hold hold = cell.Acquire();
        const int seen = *hold;
        std::this_thread::yield();
        if (seen < last || *hold != seen) faults.fetch_add(1);
        last = seen;
      }
    });
  }
  for (int k = 1; k <= kValues; ++k) {
    const std::unique_ptr<const int> replaced = cell.Publish(std::make_unique<const int>(k));
    if (replaced == nullptr || *replaced != k - 1) faults.fetch_add(1);
  }
  stop.store(true);
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(0, faults.load());
  EXPECT_EQ(kValues, *cell.Acquire());
  EXPECT_EQ(0, cell.Holds());
}

}  // namespace
}  // namespace vard
