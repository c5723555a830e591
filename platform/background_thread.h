// BackgroundThread: runs one job at a time on a thread of its own that yields the processor to
// the rest of the process (a higher nice value for that thread alone), for work that must not
// slow the requests a busy server is answering. The owner starts jobs, one at a time; whoever
// started one may wait for it for a bounded time. An unprivileged process cannot take a nice
// value back, so a job yields until it returns. Thread-safety: see each method.
#ifndef VARDOMAR_PLATFORM_BACKGROUND_THREAD_H_
#define VARDOMAR_PLATFORM_BACKGROUND_THREAD_H_

#include <pthread.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace vard {

class BackgroundThread {
 public:
  BackgroundThread() = default;
  BackgroundThread(const BackgroundThread&) = delete;
  BackgroundThread& operator=(const BackgroundThread&) = delete;
  // Waits for the job under way (Join).
  ~BackgroundThread();

  // Starts `job` on a new thread whose nice value is the caller's plus `nice_increment` (at most
  // 19; the job runs anyway when the value cannot be set). Returns the job's ticket for WaitMs, or
  // 0 when no thread could be made: then nothing runs and the caller does the work itself. The job
  // started before must have returned (the owner's own rule says when: the job's last act ends its
  // claim); this waits for its thread to end. Any thread: Start and Join take turns, so a job's
  // next starter may call Start while this one's starter is still inside it.
  uint64_t Start(std::function<void()> job, int nice_increment);

  // Waits until the job with `ticket` has returned or `ms` milliseconds passed; true when it has
  // returned. Any thread.
  bool WaitMs(uint64_t ticket, int64_t ms);

  // Waits for the job started last and its thread to end. Any thread (see Start).
  void Join();

 private:
  struct Launch;
  static void* Run(void* launch);

  // start_mu_: held through Start and Join, so that the thread handle is never read while it is
  // written.
  std::mutex start_mu_;
  pthread_t thread_{};     // guarded by start_mu_
  bool joinable_ = false;  // guarded by start_mu_

  // mu_ guards the fields below it and is what WaitMs waits on.
  std::mutex mu_;
  std::condition_variable returned_;
  uint64_t started_ = 0;          // tickets handed out
  uint64_t returned_ticket_ = 0;  // the ticket of the last job that returned
};

}  // namespace vard

#endif  // VARDOMAR_PLATFORM_BACKGROUND_THREAD_H_
