#include "filter/file_version_cell.h"

#include <atomic>
#include <thread>
#include <vector>

#include "gtest/gtest.h"

namespace vard {
namespace {

// Every field of version `k` holds k, so a version read in two halves shows as a mix.
FileVersion Uniform(int64_t k) {
  FileVersion version;
  version.write_time_ns = k;
  version.device = static_cast<uint64_t>(k);
  version.inode = static_cast<uint64_t>(k);
  version.size = k;
  version.change_time_ns = k;
  return version;
}

TEST(FileVersionCellTest, ReadersNeverSeeHalfOfAWrite) {
  FileVersionCell cell;
  EXPECT_EQ(FileVersion{}, cell.Load());
  std::atomic<bool> stop{false};
  std::atomic<int> mixed{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 2; ++r) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        const FileVersion seen = cell.Load();
        if (seen != Uniform(seen.write_time_ns)) mixed.fetch_add(1);
      }
    });
  }
  for (int64_t k = 1; k <= 200000; ++k) cell.Store(Uniform(k));
  stop.store(true);
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(0, mixed.load());
  EXPECT_EQ(Uniform(200000), cell.Load());
}

}  // namespace
}  // namespace vard
