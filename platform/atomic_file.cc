#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "platform/env.h"

namespace vard {
namespace {

std::atomic<bool> g_use_unnamed{true};

// The stem of the temporary names of new files, in place of a target's name.
constexpr char kNewFileStem[] = "vardomar-new";
// "<stem>.tmp<pid>.<16 hex digits>": the writer's process id, so that a later writer can tell
// whether it still runs, and 64 random bits, so that nobody can plant anything at the name
// beforehand.
constexpr char kTempMark[] = ".tmp";
constexpr size_t kRandomDigits = 16;
// New files are written without a lock shared by every writer: a writer on another machine
// sharing the directory has a process id that means nothing here, so only files it has not
// written for this long count as abandoned.
constexpr time_t kNewFileMinAge = 600;

std::string RandomHex() {
  unsigned char bytes[kRandomDigits / 2] = {};
  size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n > 0) got += static_cast<size_t>(n);
    // The kernel's generator fails only when interrupted before it is seeded; try again.
  }
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const unsigned char byte : bytes) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 15]);
  }
  return text;
}

std::string TempName(const std::string& dir, std::string_view stem) {
  return dir + "." + std::string(stem) + kTempMark + std::to_string(getpid()) + "." + RandomHex();
}

// Opens a new file in `dir` (with its trailing "/", "" for ".") with `access` (O_WRONLY or
// O_RDWR): an unnamed one where the file system offers it, else one created under
// TempName(dir, stem), which goes to `temp`. -1 with errno when neither could be made.
int OpenNewFile(Env& env, const std::string& dir, std::string_view stem, int access,
                std::string* temp) {
  int fd = -1;
  temp->clear();
  if (g_use_unnamed.load()) {
    // Unnamed: a writer that dies leaves nothing behind, and no name exists to plant a link at.
    fd = env.Open(dir.empty() ? "." : dir.c_str(), O_TMPFILE | access, kPrivateFileMode);
    // Other errors (no directory, no rights) would fail a named file alike.
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temp = TempName(dir, stem);
    // O_EXCL with O_NOFOLLOW: whatever stands at the name, a link included, is never opened.
    fd = env.Open(temp->c_str(), access | O_CREAT | O_EXCL | O_NOFOLLOW, kPrivateFileMode);
    if (fd >= 0 || errno != EEXIST) break;
  }
  if (fd < 0) temp->clear();
  return fd;
}

// The file to replace: a symbolic link is followed so that the link itself survives the rename.
std::string ResolveTarget(const std::string& path) {
  Env* env = Env::Default();
  struct stat st {};
  if (env->LinkStat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  std::string real;
  return env->RealPath(path.c_str(), &real) ? real : path;
}

// The directory part of `path` with its trailing "/", or "" for a bare name.
std::string DirectoryOf(std::string_view path) {
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

void SyncDirectoryOf(const std::string& path) {
  // The name is already in place and the file's content synced: a directory that cannot be
  // synced only weakens durability, and reporting the save as failed would tell the
  // administrator that a change visible to everyone was not made.
  Env::Default()->SyncDirectory(DirectoryOf(path).c_str());
}

// The stdio stream's writes and close go to the Env, so that a test can fail them like any
// other step of a save.
ssize_t SinkWrite(void* cookie, const char* data, size_t size) {
  const AtomicFile::Sink& sink = *static_cast<const AtomicFile::Sink*>(cookie);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = sink.env->Write(sink.fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      // The stream treats any count short of `size` as a failed write.
      return static_cast<ssize_t>(done);
    }
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

int SinkClose(void* cookie) {
  const AtomicFile::Sink& sink = *static_cast<const AtomicFile::Sink*>(cookie);
  return sink.env->Close(sink.fd);
}

// The process id in a temporary name of `stem`, or 0 when `name` is no such name.
pid_t TempNameOwner(std::string_view name, std::string_view stem) {
  const std::string prefix = "." + std::string(stem) + kTempMark;
  if (name.substr(0, prefix.size()) != prefix) return 0;
  name.remove_prefix(prefix.size());
  const size_t dot = name.find('.');
  if (dot == 0 || dot == std::string_view::npos || dot > 9 ||
      name.size() - dot - 1 != kRandomDigits) {
    return 0;
  }
  long pid = 0;
  for (const char c : name.substr(0, dot)) {
    if (c < '0' || c > '9') return 0;
    pid = pid * 10 + (c - '0');
  }
  for (const char c : name.substr(dot + 1)) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return 0;
  }
  return static_cast<pid_t>(pid);
}

// Removes the temporary files of `stem` in `dir` whose writers no longer run here and that were
// last written at least `min_age_seconds` ago.
void RemoveAbandoned(const std::string& dir, std::string_view stem, time_t min_age_seconds) {
  Env* env = Env::Default();
  std::vector<std::string> names;
  if (env->ListDirectory(dir.c_str(), &names) != 0) return;
  const int64_t now = env->NowSeconds();
  for (const std::string& name : names) {
    const pid_t owner = TempNameOwner(name, stem);
    if (owner <= 0 || owner == getpid() || env->ProcessExists(owner)) continue;
    const std::string path = dir + name;
    struct stat st {};
    if (min_age_seconds > 0 &&
        (env->LinkStat(path.c_str(), &st) != 0 || now - st.st_mtime < min_age_seconds)) {
      continue;
    }
    // Unlinking removes a link planted there, never what it points to.
    env->Unlink(path.c_str());
  }
}

}  // namespace

AtomicFile::AtomicFile(std::string_view path, mode_t new_file_mode) {
  if (path.empty()) {
    errno = ENOENT;
    return;
  }
  target_ = ResolveTarget(std::string(path));
  dir_ = DirectoryOf(target_);
  struct stat old {};
  if (Env::Default()->Stat(target_.c_str(), &old) == 0) {
    Create(old.st_mode & 07777, &old);
  } else {
    Create(new_file_mode, nullptr);
  }
}

AtomicFile::AtomicFile(NewFileIn where) {
  dir_ = std::string(where.dir);
  if (!dir_.empty() && dir_.back() != '/') dir_.push_back('/');
  Create(kPrivateFileMode, nullptr);
}

void AtomicFile::Create(mode_t mode, const struct stat* owner) {
  Env& env = *Env::Default();
  sink_.env = &env;
  std::string temp;
  const int fd = OpenNewFile(
      env, dir_, target_.empty() ? kNewFileStem : target_.substr(dir_.size()), O_WRONLY, &temp);
  if (fd < 0) {
    error_ = errno;
    return;
  }
  temp_ = temp;
  // Owner first: a change of owner may clear set-id bits, which the mode then restores. Only a
  // privileged process can give the file away; otherwise it stays ours, as a new file would.
  if (owner != nullptr && env.ChangeOwner(fd, owner->st_uid, owner->st_gid) != 0) {
    // Not privileged: no reason to fail the save.
  }
  sink_.fd = fd;
  // fchmod is not narrowed by the umask: the file gets exactly these bits, before any content.
  if (env.ChangeMode(fd, mode) != 0 ||
      (file_ = fopencookie(&sink_, "w", {nullptr, SinkWrite, nullptr, SinkClose})) == nullptr) {
    const int error = errno;
    env.Close(fd);
    sink_.fd = -1;
    if (!temp_.empty()) env.Unlink(temp_.c_str());
    temp_.clear();
    error_ = error;
    errno = error;
  }
}

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::Discard() {
  if (file_ != nullptr) Close();
  if (!temp_.empty()) {
    sink_.env->Unlink(temp_.c_str());
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

bool AtomicFile::Flush() {
  if (file_ == nullptr) {
    if (error_ == 0) error_ = EBADF;
    return false;
  }
  if (!flushed_ && error_ == 0) {
    if (std::fflush(file_) != 0 || sink_.env->Sync(sink_.fd) != 0) error_ = errno;
    flushed_ = true;
  }
  return error_ == 0;
}

int AtomicFile::LinkUnnamed(const std::string& path) const {
  Env& env = *sink_.env;
  const std::string proc = "/proc/self/fd/" + std::to_string(sink_.fd);
  if (env.Link(AT_FDCWD, proc.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return 1;
  // Without /proc only a privileged process may name a file by its descriptor.
  if (errno != ENOENT) return 0;
  return env.Link(sink_.fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0 ? 1 : 0;
}

bool AtomicFile::Close() {
  FILE* const file = file_;
  file_ = nullptr;
  const int closed = std::fclose(file);
  sink_.fd = -1;
  if (closed == 0) return true;
  if (error_ == 0) error_ = errno != 0 ? errno : EIO;
  return false;
}

int AtomicFile::Commit() {
  if (target_.empty() && error_ == 0) error_ = EINVAL;
  if (Flush() && temp_.empty()) {
    // rename needs a name to move: the unnamed file gets a private one for that moment.
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string temp = TempName(dir_, target_.substr(dir_.size()));
      if (LinkUnnamed(temp) == 1) {
        temp_ = temp;
        break;
      }
      if (errno != EEXIST) break;
    }
    if (temp_.empty()) error_ = errno != 0 ? errno : EEXIST;
  }
  // Closed before the rename: a close that reports a failure must leave the target as it was.
  if (file_ != nullptr) Close();
  if (error_ == 0 && sink_.env->Rename(temp_.c_str(), target_.c_str()) != 0) error_ = errno;
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

int AtomicFile::Publish(std::string_view path) {
  const std::string name(path);
  if (!target_.empty() && error_ == 0) error_ = EINVAL;
  if (Flush()) {
    Env& env = *sink_.env;
    // link, unlike rename, fails rather than replaces when the name exists.
    const int linked = temp_.empty() ? LinkUnnamed(name)
                       : env.Link(AT_FDCWD, temp_.c_str(), AT_FDCWD, name.c_str(), 0) == 0 ? 1
                                                                                           : 0;
    if (linked == 1) {
      // A close that reports a failure takes the new name back: the file is not published.
      if (!Close()) env.Unlink(name.c_str());
      if (error_ == 0) {
        Discard();
        SyncDirectoryOf(name);
        return 1;
      }
    } else if (errno == EEXIST) {
      return 0;
    } else {
      error_ = errno;
    }
  }
  const int error = error_;
  Discard();
  errno = error;
  return 0;
}

int WriteFileAtomically(std::string_view path, std::string_view contents, mode_t new_file_mode) {
  AtomicFile file(path, new_file_mode);
  if (!file.IsOpen()) return 0;
  file.Write(contents);
  return file.Commit();
}

void RemoveAbandonedTemporaries(std::string_view path) {
  const std::string target = ResolveTarget(std::string(path));
  const std::string dir = DirectoryOf(target);
  RemoveAbandoned(dir, std::string_view(target).substr(dir.size()), 0);
}

void RemoveAbandonedNewFiles(std::string_view dir) {
  std::string directory(dir);
  if (!directory.empty() && directory.back() != '/') directory.push_back('/');
  RemoveAbandoned(directory, kNewFileStem, kNewFileMinAge);
}

int OpenPrivateFileWithoutName(std::string_view dir) {
  Env& env = *Env::Default();
  std::string folder(dir);
  if (!folder.empty() && folder.back() != '/') folder.push_back('/');
  std::string temp;
  // Not inherited: a program the web server starts (a CGI script) must never read the text.
  const int fd = OpenNewFile(env, folder, kNewFileStem, O_RDWR | O_CLOEXEC, &temp);
  if (fd < 0) return -1;
  // A name would let the cleanup of abandoned new files remove the file while it is still in
  // use; a process killed before the unlink leaves a file that cleanup does remove.
  if ((!temp.empty() && env.Unlink(temp.c_str()) != 0) ||
      env.ChangeMode(fd, kPrivateFileMode) != 0) {
    const int error = errno;
    if (!temp.empty()) env.Unlink(temp.c_str());
    env.Close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

void UseUnnamedTemporaryFiles(bool use) { g_use_unnamed.store(use); }

}  // namespace vard
