// SnapshotCell: the immutable value in force (the filter's loaded configuration), which any number
// of threads hold and read without ever waiting while one thread at a time publishes a new one
// beside it. A value is freed by the publishing thread once its last holder let it go, never by a
// holder, so a reader never pays for freeing a large value. Thread-safety: see each method.
#ifndef VARDOMAR_FILTER_SNAPSHOT_CELL_H_
#define VARDOMAR_FILTER_SNAPSHOT_CELL_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>

namespace vard {

// Two slots: the value in force and the one being replaced. A reader counts itself in the slot
// it found in force and reads that slot's value only after checking it is still in force, so a
// count it adds to a slot that went out of force meanwhile is given back before the slot is read.
// Every access is sequentially consistent: a reader adds its count and then rereads current_; the
// publisher moves current_ and then reads the count of the slot it left, so either the reader
// sees the move and backs off or the publisher sees the reader and waits for it.
template <typename T>
class SnapshotCell {
 public:
  // A reader's hold on the value that was in force when it was taken. The value stays valid,
  // unchanged, until the hold is dropped, whatever is published meanwhile. Move-only; one thread
  // at a time uses a hold.
  class Hold {
   public:
    Hold(Hold&& other) noexcept : cell_(other.cell_), slot_(other.slot_), value_(other.value_) {
      other.cell_ = nullptr;
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    Hold& operator=(Hold&&) = delete;
    ~Hold() {
      if (cell_ != nullptr) cell_->readers_[slot_].value.fetch_sub(1);
    }

    // Null only while nothing was ever published.
    const T* get() const { return value_; }
    const T& operator*() const { return *value_; }
    const T* operator->() const { return value_; }

   private:
    friend class SnapshotCell;
    Hold(const SnapshotCell* cell, int slot, const T* value)
        : cell_(cell), slot_(slot), value_(value) {}

    const SnapshotCell* cell_;
    int slot_;
    const T* value_;
  };

  SnapshotCell() = default;
  SnapshotCell(const SnapshotCell&) = delete;
  SnapshotCell& operator=(const SnapshotCell&) = delete;
  // No hold may outlive the cell.
  ~SnapshotCell() = default;

  // Holds the value in force now. Any thread, at any time; never waits: a publish that overtakes
  // it only makes it take the newer value.
  Hold Acquire() const {
    for (;;) {
      const int slot = current_.load();
      readers_[slot].value.fetch_add(1);
      if (current_.load() == slot) return Hold(this, slot, slots_[slot].get());
      readers_[slot].value.fetch_sub(1);
    }
  }

  // The value in force, without a hold: only for the thread that publishes, since only it
  // replaces the value.
  const T* Current() const { return slots_[current_.load()].get(); }

  // Puts `fresh` in force and hands back the value it replaced (null for the first), once no
  // hold on that value is left: readers that took it before the switch finish with it, and the
  // caller frees it off their path. Waits for those readers only, which hold it for one decision;
  // readers arriving meanwhile take `fresh`. One thread at a time.
  std::unique_ptr<const T> Publish(std::unique_ptr<const T> fresh) {
    const int old = current_.load();
    const int next = 1 - old;
    slots_[next] = std::move(fresh);
    current_.store(next);
    for (int spins = 0; readers_[old].value.load() != 0; ++spins) {
      if (spins < 64) {
        std::this_thread::yield();
      } else {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
    }
    return std::move(slots_[old]);
  }

  // The number of holds now, on any value (for tests and diagnostics).
  int Holds() const { return readers_[0].value.load() + readers_[1].value.load(); }

 private:
  // Written twice by every reader, so each count has a cache line of its own and the read-mostly
  // fields below stay shared between processors.
  struct alignas(64) Count {
    std::atomic<int32_t> value{0};
  };
  mutable Count readers_[2];
  // current_: the slot in force. Stored only by Publish, after the slot's value is in place.
  alignas(64) std::atomic<int> current_{0};
  // slots_: the values. A slot is written only by Publish: the one going into force before
  // current_ names it, the one going out after its count drained with current_ naming the other,
  // so no reader reads a slot while it is written.
  std::unique_ptr<const T> slots_[2];
};

}  // namespace vard

#endif  // VARDOMAR_FILTER_SNAPSHOT_CELL_H_
