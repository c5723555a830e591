// LineSource: the configuration reader's view of its input, either a file read through Env in one
// large buffer, or a text in memory read in place, so a line costs one memchr and one copy rather
// than a library call per byte. A file source owns its descriptor; one thread per source.
#ifndef VARDOMAR_TREE_LINE_SOURCE_H_
#define VARDOMAR_TREE_LINE_SOURCE_H_

#include <cstddef>
#include <memory>
#include <string_view>

namespace vard {

class LineSource {
 public:
  // A source over the file at `path`, opened read-only through Env. Null with errno when it
  // cannot be opened, is a directory (EISDIR: a mistyped path must not pass as an empty
  // configuration) or memory is short (ENOMEM).
  static std::unique_ptr<LineSource> OpenFile(const char* path);
  // A source over `text`, which must outlive it; nothing is copied.
  explicit LineSource(std::string_view text);
  ~LineSource();
  LineSource(const LineSource&) = delete;
  LineSource& operator=(const LineSource&) = delete;

  // Copies bytes into `out` up to and including the next '\n', or `max` bytes, or the end of the
  // input, whichever comes first; zero bytes are copied as they are. Returns the count (0: at
  // the end of the input, or a read failed). Adds no terminator.
  size_t ReadPiece(char* out, size_t max);
  // The next byte without consuming it; -1 at the end of the input.
  int Peek();
  // Consumes the byte Peek() returned.
  void Skip() { ++begin_; }
  // Continues reading at byte `offset` of the input. False when the source cannot go there.
  bool SeekTo(long offset);
  // The errno of a read that failed since the last seek, which ended the input early; 0 when none.
  int read_error() const { return read_error_; }

 private:
  LineSource(int fd, std::unique_ptr<char[]> buffer);
  bool Refill();

  int fd_ = -1;                    // the file, or -1 for a text in memory
  std::unique_ptr<char[]> owned_;  // the file's buffer
  const char* data_;               // owned_, or the text
  long buffer_offset_ = 0;         // input offset of data_[0]
  size_t begin_ = 0;               // next unread byte of data_
  size_t end_ = 0;                 // end of the bytes in data_
  int read_error_ = 0;             // errno of the first failed read, 0 when none
};

}  // namespace vard

#endif  // VARDOMAR_TREE_LINE_SOURCE_H_
