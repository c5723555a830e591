#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace vard {
namespace {

// A name no other writer picks at the same moment: process id, a per-process counter and the
// clock, tried again on the rare collision (the file is created exclusively).
std::string TempSuffix(int attempt) {
  static std::atomic<unsigned> counter{0};
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  char text[64];
  std::snprintf(text, sizeof text, ".tmp%ld.%u.%lx.%d", static_cast<long>(getpid()),
                counter.fetch_add(1), static_cast<unsigned long>(now.tv_nsec), attempt);
  return text;
}

// The file to replace: a symbolic link is followed so that the link itself survives the rename.
std::string ResolveTarget(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : path;
}

void SyncDirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  // The rename is already done; a directory that cannot be synced only weakens durability.
  fsync(fd);
  close(fd);
}

}  // namespace

AtomicFile::AtomicFile(std::string_view path) {
  if (path.empty()) {
    errno = ENOENT;
    return;
  }
  target_ = ResolveTarget(std::string(path));
  const size_t slash = target_.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = dir + "." + base + TempSuffix(attempt);
    // 0666 lets the umask decide, as for any new file; an existing target's bits are copied
    // at Commit.
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return;
    }
    file_ = fdopen(fd, "w");
    if (file_ == nullptr) {
      const int error = errno;
      close(fd);
      unlink(temp.c_str());
      errno = error;
      return;
    }
    temp_ = std::move(temp);
    return;
  }
  errno = EEXIST;
}

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::Discard() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temp_.empty()) {
    unlink(temp_.c_str());
    temp_.clear();
  }
}

int AtomicFile::Write(std::string_view data) {
  if (file_ == nullptr || error_ != 0) return 0;
  const bool ok = std::fwrite(data.data(), 1, data.size(), file_) == data.size();
  NoteResult(ok);
  return ok ? 1 : 0;
}

void AtomicFile::NoteResult(bool ok) {
  if (!ok && error_ == 0) error_ = errno != 0 ? errno : EIO;
}

void AtomicFile::Fail(int error) {
  if (error_ == 0) error_ = error != 0 ? error : EIO;
}

int AtomicFile::Commit() {
  if (file_ == nullptr) {
    errno = error_ != 0 ? error_ : EBADF;
    return 0;
  }
  const int fd = fileno(file_);
  if (error_ == 0 && std::fflush(file_) != 0) error_ = errno;
  struct stat old {};
  if (error_ == 0 && stat(target_.c_str(), &old) == 0) {
    // Owner first: a change of owner may clear set-id bits, which the mode then restores. Only
    // a privileged process can give the file away; otherwise it stays ours, as a new file would.
    struct stat mine {};
    if (fstat(fd, &mine) == 0 && (mine.st_uid != old.st_uid || mine.st_gid != old.st_gid)) {
      if (fchown(fd, old.st_uid, old.st_gid) != 0) {
        // Not privileged: the new file stays ours, which is no reason to fail the save.
      }
    }
    if (fchmod(fd, old.st_mode & 07777) != 0) error_ = errno;
  }
  if (error_ == 0 && fsync(fd) != 0) error_ = errno;
  if (std::fclose(file_) != 0 && error_ == 0) error_ = errno;
  file_ = nullptr;
  if (error_ == 0 && rename(temp_.c_str(), target_.c_str()) != 0) error_ = errno;
  if (error_ != 0) {
    const int error = error_;
    Discard();
    errno = error;
    return 0;
  }
  temp_.clear();
  SyncDirectoryOf(target_);
  return 1;
}

int WriteFileAtomically(std::string_view path, std::string_view contents) {
  AtomicFile file(path);
  if (!file.IsOpen()) return 0;
  file.Write(contents);
  return file.Commit();
}

}  // namespace vard
