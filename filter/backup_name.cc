#include "filter/backup_name.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/atomic_file.h"
#include "tree/text_tree_stream.h"

namespace vard {
namespace {

const char* Separator(std::string_view dir) { return dir.back() == '/' ? "" : "/"; }

// Writes all of `data` to `fd`, continuing short writes. false with errno on failure.
bool WriteAll(Env& env, int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = env.Write(fd, data.data(), data.size());
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

bool FormatBackupName(std::string_view dir, const CalendarTime& utc, int copy, char* buf,
                      size_t cap) {
  if (dir.empty() || buf == nullptr || dir.size() >= cap || copy < 1 ||
      copy > kMaxBackupCopiesPerSecond) {
    return false;
  }
  char number[12] = "";  // "-" and any int
  if (copy > 1) std::snprintf(number, sizeof number, "-%d", copy);
  const int n = std::snprintf(buf, cap, "%.*s%sVardfilt-%4d.%2d.%2d-%2d.%2d.%2d%s.cfg",
                              static_cast<int>(dir.size()), dir.data(), Separator(dir), utc.year,
                              utc.month, utc.day, utc.hour, utc.minute, utc.second, number);
  return n > 0 && static_cast<size_t>(n) < cap;
}

std::unique_ptr<BackupText> BackupText::Save(std::string file_text, std::string_view dir) {
  if (dir.empty()) return nullptr;
  // The saved text is formed whole first: the stream writes files only through AtomicFile. The
  // file's text goes as soon as the tree holds it, and the saved text before the load ends.
  std::string text;
  {
    TreeSection root("", false);
    {
      const std::unique_ptr<TextTreeStream> in = TextTreeStream::ReadingTextInPlace(file_text);
      if (in == nullptr) return nullptr;
      root.Load(*in);
    }
    std::string().swap(file_text);
    TextTreeStream stream(&text);
    root.Save(stream);
    if (stream.Close() != 1) return nullptr;
  }
  Env& env = *Env::Default();
  const int fd = OpenPrivateFileWithoutName(dir);
  if (fd < 0) return nullptr;
  if (!WriteAll(env, fd, text)) {
    env.Close(fd);
    return nullptr;
  }
  return std::unique_ptr<BackupText>(new BackupText(fd));
}

BackupText::~BackupText() { Env::Default()->Close(fd_); }

bool BackupText::CopyTo(AtomicFile& out) const {
  Env& env = *Env::Default();
  if (env.Seek(fd_, 0) != 0) return false;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = env.Read(fd_, buffer, sizeof buffer);
    if (n < 0) return false;
    if (n == 0) return true;
    if (out.Write(std::string_view(buffer, static_cast<size_t>(n))) != 1) return false;
  }
}

bool SaveBackupCopy(const BackupText& text, std::string_view dir, const CalendarTime& utc,
                    char* name, size_t cap) {
  if (!FormatBackupName(dir, utc, 1, name, cap)) return false;
  // Copies of writers killed in the middle (only where the file system has no unnamed files).
  RemoveAbandonedNewFiles(dir);
  AtomicFile copy(AtomicFile::NewFileIn{dir});
  if (!copy.IsOpen()) return false;
  if (!text.CopyTo(copy)) {
    copy.Fail(errno != 0 ? errno : EIO);
    return false;
  }
  // A copy already under a name stays as it is, whoever wrote it: Publish refuses an existing
  // name, so the first free one is taken without a window in which another writer could take it.
  for (int copy_number = 1; copy_number <= kMaxBackupCopiesPerSecond; ++copy_number) {
    if (copy_number > 1 && !FormatBackupName(dir, utc, copy_number, name, cap)) return false;
    if (copy.Publish(name) == 1) return true;
    if (errno != EEXIST) return false;
  }
  return false;
}

}  // namespace vard
