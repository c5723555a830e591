#include "platform/env.h"

#include <dirent.h>
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "platform/time_format.h"

namespace vard {
namespace {

std::atomic<Env*> g_installed{nullptr};

Env* RealEnv() {
  // Built in static storage and never destroyed: other static destructors and detached threads
  // may still ask for the time, and a library that is unloaded must not leave a heap block behind.
  alignas(Env) static unsigned char storage[sizeof(Env)];
  static Env* const real = new (storage) Env();
  return real;
}

bool ToCalendar(const std::tm& tm, CalendarTime* out) {
  out->year = tm.tm_year + 1900;
  out->month = tm.tm_mon + 1;
  out->day = tm.tm_mday;
  out->hour = tm.tm_hour;
  out->minute = tm.tm_min;
  out->second = tm.tm_sec;
  out->weekday = tm.tm_wday;
  return true;
}

// The user's time locale, made once. The C library's global locale is not consulted because a
// host process (a web server) may have set it to something else; this mirrors a formatter that
// asks for the user default locale.
struct TimeLocale {
  locale_t locale = nullptr;
  std::string format;

  TimeLocale() {
    locale = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0)) {
      locale = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
    }
    const char* t_fmt = locale ? nl_langinfo_l(T_FMT, locale) : "%H:%M:%S";
    const char* ampm = locale ? nl_langinfo_l(T_FMT_AMPM, locale) : "%I:%M:%S %p";
    format = TimeOfDayFormatWithoutSeconds(t_fmt ? t_fmt : "", ampm ? ampm : "");
  }
  // Freed when the program ends or the library holding it is unloaded; no request runs then.
  ~TimeLocale() {
    if (locale != static_cast<locale_t>(0)) freelocale(locale);
  }
  TimeLocale(const TimeLocale&) = delete;
  TimeLocale& operator=(const TimeLocale&) = delete;
};

const TimeLocale& GetTimeLocale() {
  static const TimeLocale time_locale;
  return time_locale;
}

bool ToNanoseconds(const struct timespec& time, int64_t* nanos) {
  return !__builtin_mul_overflow(static_cast<int64_t>(time.tv_sec), int64_t{1000000000}, nanos) &&
         !__builtin_add_overflow(*nanos, static_cast<int64_t>(time.tv_nsec), nanos);
}

}  // namespace

Env::~Env() = default;

Env* Env::Default() {
  Env* env = g_installed.load(std::memory_order_acquire);
  return env != nullptr ? env : RealEnv();
}

Env* Env::SetForTesting(Env* env) {
  Env* previous = g_installed.exchange(env, std::memory_order_acq_rel);
  return previous != nullptr ? previous : RealEnv();
}

int64_t Env::NowSeconds() { return static_cast<int64_t>(std::time(nullptr)); }

int64_t Env::NowMonotonicMs() {
  struct timespec now {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

bool Env::UtcTime(int64_t seconds, CalendarTime* out) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (out == nullptr || gmtime_r(&t, &tm) == nullptr) return false;
  return ToCalendar(tm, out);
}

bool Env::LocalTime(int64_t seconds, CalendarTime* out) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (out == nullptr || localtime_r(&t, &tm) == nullptr) return false;
  return ToCalendar(tm, out);
}

size_t Env::FormatLocalTimeOfDay(int64_t seconds, char* buf, size_t cap) {
  if (buf == nullptr || cap == 0) return 0;
  buf[0] = '\0';
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr) return 0;
  const TimeLocale& tl = GetTimeLocale();
  char text[256];
  size_t n = tl.locale ? strftime_l(text, sizeof text, tl.format.c_str(), &tm, tl.locale)
                       : std::strftime(text, sizeof text, tl.format.c_str(), &tm);
  n = SanitizeTimeText(text, n);
  if (n == 0 || n + 1 > cap) return 0;
  std::memcpy(buf, text, n);
  buf[n] = '\0';
  return n;
}

bool Env::LocalMidnightToSeconds(int year, int month, int day, int64_t* seconds) {
  // tm_year and tm_mon are offsets; doing the subtraction in 64 bits keeps an absurd typed year
  // from overflowing before mktime can refuse it.
  const int64_t tm_year = static_cast<int64_t>(year) - 1900;
  const int64_t tm_mon = static_cast<int64_t>(month) - 1;
  if (seconds == nullptr || tm_year < INT_MIN || tm_mon < INT_MIN) return false;
  std::tm tm{};
  tm.tm_year = static_cast<int>(tm_year);
  tm.tm_mon = static_cast<int>(tm_mon);
  tm.tm_mday = day;
  tm.tm_isdst = -1;
  errno = 0;
  const std::time_t t = std::mktime(&tm);
  // -1 is also a real instant, but never a local midnight in any zone that offsets by whole
  // minutes, so it can only mean failure here.
  if (t == static_cast<std::time_t>(-1)) return false;
  *seconds = static_cast<int64_t>(t);
  return true;
}

bool Env::GetFileVersion(const char* path, FileVersion* version) {
  if (path == nullptr || version == nullptr) return false;
  struct stat st;
  if (Stat(path, &st) != 0) return false;
  int64_t nanos = 0;
  int64_t change_nanos = 0;
  if (!ToNanoseconds(st.st_mtim, &nanos) || !ToNanoseconds(st.st_ctim, &change_nanos)) {
    return false;
  }
  version->write_time_ns = nanos;
  version->change_time_ns = change_nanos;
  version->device = static_cast<uint64_t>(st.st_dev);
  version->inode = static_cast<uint64_t>(st.st_ino);
  version->size = static_cast<int64_t>(st.st_size);
  return true;
}

void Env::SleepMs(int ms) {
  if (ms <= 0) return;
  struct timespec left;
  left.tv_sec = ms / 1000;
  left.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

int Env::Open(const char* path, int flags, mode_t mode) {
  return open(path, flags | O_CLOEXEC, mode);
}

ssize_t Env::Read(int fd, void* buf, size_t size) { return read(fd, buf, size); }

ssize_t Env::Write(int fd, const void* data, size_t size) { return write(fd, data, size); }

int Env::Sync(int fd) { return fsync(fd); }

int Env::Close(int fd) { return close(fd); }

off_t Env::Seek(int fd, off_t offset) { return lseek(fd, offset, SEEK_SET); }

int Env::ChangeMode(int fd, mode_t mode) { return fchmod(fd, mode); }

int Env::ChangeOwner(int fd, uid_t owner, gid_t group) { return fchown(fd, owner, group); }

int Env::Rename(const char* from, const char* to) { return rename(from, to); }

int Env::Link(int from_dir, const char* from, int to_dir, const char* to, int flags) {
  return linkat(from_dir, from, to_dir, to, flags);
}

int Env::Unlink(const char* path) { return unlink(path); }

int Env::Lock(int fd, int operation) {
  int result;
  do {
    result = flock(fd, operation);
  } while (result != 0 && errno == EINTR);
  return result;
}

int Env::Stat(const char* path, struct stat* st) { return stat(path, st); }

int Env::LinkStat(const char* path, struct stat* st) { return lstat(path, st); }

int Env::FileStat(int fd, struct stat* st) { return fstat(fd, st); }

int Env::Access(const char* path, int mode) { return access(path, mode); }

bool Env::RealPath(const char* path, std::string* out) {
  const std::unique_ptr<char, decltype(&std::free)> real(realpath(path, nullptr), &std::free);
  if (real == nullptr) return false;
  *out = real.get();
  return true;
}

int Env::ListDirectory(const char* dir, std::vector<std::string>* names) {
  names->clear();
  DIR* listing = opendir(dir[0] == '\0' ? "." : dir);
  if (listing == nullptr) return -1;
  while (const dirent* entry = readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names->emplace_back(name);
  }
  closedir(listing);
  return 0;
}

bool Env::ProcessExists(pid_t pid) { return kill(pid, 0) == 0 || errno != ESRCH; }

int Env::SyncDirectory(const char* dir) {
  // One step of its own: a test that fails the Nth file sync or open never hits this one.
  const int fd = open(dir[0] == '\0' ? "." : dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  const int result = fsync(fd);
  const int error = errno;
  close(fd);
  errno = error;
  return result;
}

int Env::ReadFile(const char* path, size_t max_bytes, std::string* out) {
  out->clear();
  const int fd = Open(path, O_RDONLY);
  if (fd < 0) return 0;
  // Read in place into room for the whole file and one byte more, so that the read that finds
  // the end needs no room of its own: a configuration can take hundreds of megabytes, which small
  // reads appended one by one would copy again at every growth. The size only guides: a file
  // that grows meanwhile is read on, doubling the room.
  constexpr size_t kMinRoom = size_t{1} << 16;
  struct stat st;
  size_t room = kMinRoom;
  if (FileStat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    room = static_cast<size_t>(st.st_size) < max_bytes ? static_cast<size_t>(st.st_size) + 1
                                                       : max_bytes + 1;
  }
  size_t used = 0;
  int result = 1;
  out->resize(room);
  for (;;) {
    if (used == out->size()) out->resize(used < max_bytes / 2 ? used * 2 : max_bytes + 1);
    const ssize_t n = Read(fd, out->data() + used, out->size() - used);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result = 0;
      break;
    }
    if (n == 0) break;
    used += static_cast<size_t>(n);
    if (used > max_bytes) {
      errno = EFBIG;
      result = 0;
      break;
    }
  }
  out->resize(used);
  const int error = errno;
  Close(fd);
  errno = error;
  return result;
}

}  // namespace vard
