#include "tree/line_source.h"

#include <cstring>
#include <new>

namespace vard {
namespace {

// Large enough that a file of a million users is read in a few hundred calls.
constexpr size_t kBufferSize = 1 << 20;

}  // namespace

LineSource::LineSource(FILE* file) : file_(file), buffer_(new (std::nothrow) char[kBufferSize]) {
  // The stream's own buffer would only add a second copy of every byte.
  if (file_ != nullptr) std::setvbuf(file_, nullptr, _IONBF, 0);
}

bool LineSource::Refill() {
  if (file_ == nullptr || buffer_ == nullptr) return false;
  buffer_offset_ += static_cast<long>(end_);
  begin_ = 0;
  end_ = std::fread(buffer_.get(), 1, kBufferSize, file_);
  return end_ > 0;
}

size_t LineSource::ReadPiece(char* out, size_t max) {
  size_t n = 0;
  while (n < max) {
    if (begin_ == end_ && !Refill()) break;
    const char* start = buffer_.get() + begin_;
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
  if (begin_ == end_ && !Refill()) return EOF;
  return static_cast<unsigned char>(buffer_[begin_]);
}

bool LineSource::SeekTo(long offset) {
  if (offset >= buffer_offset_ && offset <= buffer_offset_ + static_cast<long>(end_)) {
    begin_ = static_cast<size_t>(offset - buffer_offset_);
    return true;
  }
  if (file_ == nullptr || std::fseek(file_, offset, SEEK_SET) != 0) return false;
  buffer_offset_ = offset;
  begin_ = end_ = 0;
  return true;
}

}  // namespace vard
