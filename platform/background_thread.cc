#include "platform/background_thread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <utility>

namespace vard {

// What a new thread needs; owned by the thread once it was made.
struct BackgroundThread::Launch {
  BackgroundThread* owner;
  std::function<void()> job;
  uint64_t ticket;
  int nice_increment;
};

BackgroundThread::~BackgroundThread() { Join(); }

void* BackgroundThread::Run(void* argument) {
  const std::unique_ptr<Launch> launch(static_cast<Launch*>(argument));
  // On this system a nice value belongs to the thread, so only the job yields. -1 is also a
  // valid nice value, hence errno.
  const pid_t tid = gettid();
  errno = 0;
  const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  if (nice != -1 || errno == 0) {
    setpriority(PRIO_PROCESS, static_cast<id_t>(tid), std::min(19, nice + launch->nice_increment));
  }
  launch->job();
  BackgroundThread& owner = *launch->owner;
  {
    const std::lock_guard<std::mutex> lock(owner.mu_);
    owner.returned_ticket_ = launch->ticket;
  }
  owner.returned_.notify_all();
  return nullptr;
}

uint64_t BackgroundThread::Start(std::function<void()> job, int nice_increment) {
  const std::lock_guard<std::mutex> start(start_mu_);
  if (joinable_) {
    pthread_join(thread_, nullptr);
    joinable_ = false;
  }
  uint64_t ticket;
  {
    const std::lock_guard<std::mutex> lock(mu_);
    ticket = ++started_;
  }
  auto launch = std::make_unique<Launch>(Launch{this, std::move(job), ticket, nice_increment});
  if (pthread_create(&thread_, nullptr, &BackgroundThread::Run, launch.get()) != 0) return 0;
  launch.release();  // the thread owns it now
  joinable_ = true;
  return ticket;
}

bool BackgroundThread::WaitMs(uint64_t ticket, int64_t ms) {
  std::unique_lock<std::mutex> lock(mu_);
  return returned_.wait_for(lock, std::chrono::milliseconds(ms),
                            [&] { return returned_ticket_ >= ticket; });
}

void BackgroundThread::Join() {
  const std::lock_guard<std::mutex> start(start_mu_);
  if (!joinable_) return;
  pthread_join(thread_, nullptr);
  joinable_ = false;
}

}  // namespace vard
