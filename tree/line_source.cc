#include "tree/line_source.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "platform/env.h"

namespace vard {
namespace {

// Large enough that a file of a million users is read in a few hundred calls.
constexpr size_t kBufferSize = 1 << 20;

}  // namespace

std::unique_ptr<LineSource> LineSource::OpenFile(const char* path) {
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBufferSize]);
  if (!buffer) {
    errno = ENOMEM;
    return nullptr;
  }
  const int fd = Env::Default()->Open(path, O_RDONLY);
  if (fd < 0) return nullptr;
  std::unique_ptr<LineSource> source(new (std::nothrow) LineSource(fd, std::move(buffer)));
  if (!source) {
    Env::Default()->Close(fd);
    errno = ENOMEM;
    return nullptr;
  }
  // A directory opens for reading but refuses the first read; reading now tells it at once.
  source->Refill();
  if (source->read_error_ == EISDIR) {
    source.reset();
    errno = EISDIR;
    return nullptr;
  }
  return source;
}

LineSource::LineSource(std::string_view text) : data_(text.data()), end_(text.size()) {}

LineSource::LineSource(int fd, std::unique_ptr<char[]> buffer)
    : fd_(fd), owned_(std::move(buffer)), data_(owned_.get()) {}

LineSource::~LineSource() {
  if (fd_ >= 0) Env::Default()->Close(fd_);
}

bool LineSource::Refill() {
  if (fd_ < 0 || read_error_ != 0) return false;
  buffer_offset_ += static_cast<long>(end_);
  begin_ = end_ = 0;
  for (;;) {
    const ssize_t n = Env::Default()->Read(fd_, owned_.get(), kBufferSize);
    if (n >= 0) {
      end_ = static_cast<size_t>(n);
      return n > 0;
    }
    if (errno != EINTR) break;
  }
  // A failed read ends the input, as the end of the file does: what was read stays loaded.
  read_error_ = errno;
  return false;
}

size_t LineSource::ReadPiece(char* out, size_t max) {
  size_t n = 0;
  while (n < max) {
    if (begin_ == end_ && !Refill()) break;
    const char* start = data_ + begin_;
    const size_t available = end_ - begin_ < max - n ? end_ - begin_ : max - n;
    const void* newline = std::memchr(start, '\n', available);
    const size_t take = newline != nullptr
                            ? static_cast<size_t>(static_cast<const char*>(newline) - start) + 1
                            : available;
    std::memcpy(out + n, start, take);
    n += take;
    begin_ += take;
    if (newline != nullptr) break;
  }
  return n;
}

int LineSource::Peek() {
  if (begin_ == end_ && !Refill()) return -1;
  return static_cast<unsigned char>(data_[begin_]);
}

bool LineSource::SeekTo(long offset) {
  if (offset >= buffer_offset_ && offset <= buffer_offset_ + static_cast<long>(end_)) {
    begin_ = static_cast<size_t>(offset - buffer_offset_);
    return true;
  }
  if (fd_ < 0 || offset < 0 || Env::Default()->Seek(fd_, offset) != offset) return false;
  buffer_offset_ = offset;
  begin_ = end_ = 0;
  read_error_ = 0;
  return true;
}

}  // namespace vard
