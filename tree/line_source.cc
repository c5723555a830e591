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
  source->Fill(0);
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

void LineSource::Fill(size_t want) {
  if (fd_ < 0 || read_error_ != 0) return;
  // The unread tail is at most one piece, moved once per buffer.
  std::memmove(owned_.get(), owned_.get() + begin_, end_ - begin_);
  buffer_offset_ += static_cast<long>(begin_);
  end_ -= begin_;
  begin_ = 0;
  next_zero_ = next_cr_ = kUnknown;
  while (end_ <= want && end_ < kBufferSize) {
    const ssize_t n = Env::Default()->Read(fd_, owned_.get() + end_, kBufferSize - end_);
    if (n > 0) {
      end_ += static_cast<size_t>(n);
    } else if (n == 0) {
      return;
    } else if (errno != EINTR) {
      // A failed read ends the input, as the end of the file does: what was read stays loaded.
      read_error_ = errno;
      return;
    }
  }
}

std::string_view LineSource::NextPiece(size_t max) {
  size_t available = end_ - begin_;
  size_t limit = available < max ? available : max;
  const void* newline = limit != 0 ? std::memchr(data_ + begin_, '\n', limit) : nullptr;
  if (newline == nullptr && available <= max && fd_ >= 0) {
    // The piece may go on past the buffer: it and the byte after it are brought in together.
    Fill(max);
    available = end_ - begin_;
    limit = available < max ? available : max;
    newline = limit != 0 ? std::memchr(data_ + begin_, '\n', limit) : nullptr;
  }
  const char* start = data_ + begin_;
  const size_t take = newline != nullptr
                          ? static_cast<size_t>(static_cast<const char*>(newline) - start) + 1
                          : limit;
  begin_ += take;
  const size_t from = static_cast<size_t>(start - data_);
  if (next_zero_ < from || next_zero_ == kUnknown) next_zero_ = Search('\0', from);
  if (next_cr_ < from || next_cr_ == kUnknown) next_cr_ = Search('\r', from);
  piece_plain_ = next_zero_ >= begin_ && next_cr_ >= begin_;
  return {start, take};
}

size_t LineSource::Search(char byte, size_t from) const {
  const void* at = from < end_ ? std::memchr(data_ + from, byte, end_ - from) : nullptr;
  return at != nullptr ? static_cast<size_t>(static_cast<const char*>(at) - data_) : end_;
}

bool LineSource::SeekTo(long offset) {
  next_zero_ = next_cr_ = kUnknown;
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
