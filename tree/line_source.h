// LineSource: the configuration reader's view of its input, a stdio stream read through one large
// buffer, so a line costs one memchr and one copy rather than a library call per byte. It owns
// neither the stream nor its closing; one thread per source.
#ifndef VARDOMAR_TREE_LINE_SOURCE_H_
#define VARDOMAR_TREE_LINE_SOURCE_H_

#include <cstddef>
#include <cstdio>
#include <memory>

namespace vard {

class LineSource {
 public:
  // Reads from `file` (may be null: then nothing is read); the source must not outlive it, and
  // nothing else may read from it meanwhile.
  explicit LineSource(FILE* file);

  // Whether the buffer could be had (false only when memory is short).
  bool ok() const { return buffer_ != nullptr; }

  // Copies bytes into `out` up to and including the next '\n', or `max` bytes, or the end of the
  // input, whichever comes first; zero bytes are copied as they are. Returns the count (0: at
  // the end of the input). Adds no terminator.
  size_t ReadPiece(char* out, size_t max);
  // The next byte without consuming it; EOF at the end of the input.
  int Peek();
  // Consumes the byte Peek() returned.
  void Skip() { ++begin_; }
  // Continues reading at byte `offset` of the input. False when the stream cannot seek there.
  bool SeekTo(long offset);

 private:
  bool Refill();

  FILE* file_;
  std::unique_ptr<char[]> buffer_;
  long buffer_offset_ = 0;  // input offset of buffer_[0]
  size_t begin_ = 0;        // next unread byte of buffer_
  size_t end_ = 0;          // end of the bytes read into buffer_
};

}  // namespace vard

#endif  // VARDOMAR_TREE_LINE_SOURCE_H_
