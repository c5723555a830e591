#include "filter/event_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "filter/auth_filter.h"
#include "filter/server_variable.h"
#include "schema/event_record.h"

namespace vard {
namespace {

// The size of the buffers that resource and site are read into; the size argument is the same.
constexpr uint32_t kVariableCapacity = 260;
// The room the time of day may take; the date follows in the same buffer.
constexpr size_t kTimeOfDayRoom = 256;

// The time text of the last record a thread wrote. Forming it takes two conversions to local
// time, each behind a lock that the C library shares among all threads, and a locale format; a
// thread therefore forms it once per second and reuses it for the other records of that second.
// The Env is part of the key, so a replaced clock or calendar is asked again.
struct RecordTimeCache {
  const Env* env = nullptr;
  int64_t seconds = 0;
  char text[kRecordTimeCapacity] = "";
};

const char* RecordTimeOf(Env& env, int64_t now) {
  thread_local RecordTimeCache cache;
  if (cache.env != &env || cache.seconds != now) {
    FormatRecordTime(env, now, cache.text, sizeof cache.text);
    cache.env = &env;
    cache.seconds = now;
  }
  return cache.text;
}

}  // namespace

size_t FormatRecordTime(Env& env, int64_t now, char* buf, size_t cap) {
  if (buf == nullptr || cap == 0) return 0;
  size_t n = env.FormatLocalTimeOfDay(now, buf, cap < kTimeOfDayRoom ? cap : kTimeOfDayRoom);
  CalendarTime local;
  if (!env.LocalTime(now, &local)) local = CalendarTime{};
  const int written = std::snprintf(
      buf + n, cap - n, ", %2hu/%2hu/%4hu", static_cast<unsigned short>(local.month),
      static_cast<unsigned short>(local.day), static_cast<unsigned short>(local.year));
  if (written > 0) {
    const size_t room = cap - n - 1;
    n += static_cast<size_t>(written) < room ? static_cast<size_t>(written) : room;
  }
  return n;
}

bool AppendRecord(const char* path, std::string_view record) {
  if (path == nullptr || *path == '\0') return false;
  // Owner and group: the log names users and sites, which are no business of other local users.
  Env& env = *Env::Default();
  const int fd = env.Open(path, O_WRONLY | O_APPEND | O_CREAT, kEventLogMode);
  if (fd < 0) return false;
  // One write per record: with O_APPEND the kernel places it whole at the end of the file, so
  // records of concurrent requests never interleave. A short write is not continued, since a
  // second write could land after another request's record.
  const ssize_t written = env.Write(fd, record.data(), record.size());
  env.Close(fd);
  return written == static_cast<ssize_t>(record.size());
}

void AuthFilter::LogEvent(const FilterConfig& rules, HTTP_FILTER_CONTEXT* request, Event event,
                          std::string_view parameter1, std::string_view parameter2) {
  if (loaded_.load(std::memory_order_acquire) == 0) return;
  // Without a log path there is nothing to write, so skip the clock and the server variables.
  const char* path = rules.log_path();
  if (*path == '\0') return;
  Env& env = *Env::Default();
  const char* when = RecordTimeOf(env, env.NowSeconds());
  char resource[kVariableCapacity];
  char site[kVariableCapacity];
  ReadServerVariable(request, "SCRIPT_NAME", resource, sizeof resource);
  ReadServerVariable(request, "SERVER_NAME", site, sizeof site);
  AppendRecord(path, FormatEventRecord(EventId(event), when, EventDescription(event), parameter1,
                                       parameter2, resource, site));
}

}  // namespace vard
