// FileVersionCell: one FileVersion that one thread at a time writes and any number of threads read
// whole without a lock. A sequence count tells a reader that a write overlapped its reading, and
// the reader then reads again, so it never sees half of one version and half of another.
#ifndef VARDOMAR_FILTER_FILE_VERSION_CELL_H_
#define VARDOMAR_FILTER_FILE_VERSION_CELL_H_

#include <atomic>
#include <cstdint>
#include <thread>

#include "platform/env.h"

namespace vard {

// Owned by value by whoever keeps the version (AuthFilter). Store must not run on two threads at
// once; Load may run on any number, also during a Store.
class FileVersionCell {
 public:
  // The version last stored (all zero before the first Store), read whole. Every access is
  // sequentially consistent: a reader that sees any field of a Store also sees the odd count that
  // Store began with, and so reads again.
  FileVersion Load() const {
    for (;;) {
      const uint32_t before = sequence_.load();
      FileVersion version;
      version.write_time_ns = write_time_ns_.load();
      version.device = device_.load();
      version.inode = inode_.load();
      version.size = size_.load();
      version.change_time_ns = change_time_ns_.load();
      if ((before & 1) == 0 && sequence_.load() == before) return version;
      // A writer is between its two counts; it has only five stores to make.
      std::this_thread::yield();
    }
  }

  // Replaces the version. Callers make sure no other Store runs at the same time.
  void Store(const FileVersion& version) {
    const uint32_t sequence = sequence_.load();
    sequence_.store(sequence + 1);
    write_time_ns_.store(version.write_time_ns);
    device_.store(version.device);
    inode_.store(version.inode);
    size_.store(version.size);
    change_time_ns_.store(version.change_time_ns);
    sequence_.store(sequence + 2);
  }

 private:
  std::atomic<uint32_t> sequence_{0};  // odd while a Store is under way
  std::atomic<int64_t> write_time_ns_{0};
  std::atomic<uint64_t> device_{0};
  std::atomic<uint64_t> inode_{0};
  std::atomic<int64_t> size_{0};
  std::atomic<int64_t> change_time_ns_{0};
};

}  // namespace vard

#endif  // VARDOMAR_FILTER_FILE_VERSION_CELL_H_
