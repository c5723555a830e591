// LineSource: the configuration reader's view of its input, either a file read through Env in one
// large buffer, or a text in memory read in place. A line is handed out as a view into that buffer,
// so it costs one memchr and no copy. A file source owns its descriptor; one thread per source.
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

  // The bytes up to and including the next '\n', or `max` bytes, or the end of the input,
  // whichever comes first; zero bytes are kept as they are. Empty at the end of the input (or
  // after a failed read). The view stays valid until the next NextPiece or SeekTo. Unless the input
  // ends first, the byte after a piece of `max` bytes is already read, so Peek and Skip leave the
  // view valid and the byte Skip consumes follows the view's last byte in memory.
  std::string_view NextPiece(size_t max);
  // Whether the last piece NextPiece handed out holds neither a zero byte nor a CR, the two bytes
  // that end a line's fields early: nearly every line of a file, which the reader then parses
  // without searching it for them. Each is searched for once per buffer, not once per line.
  bool PieceIsPlain() const { return piece_plain_; }
  // The next byte without consuming it; -1 at the end of the input. Reads nothing.
  int Peek() const { return begin_ < end_ ? static_cast<unsigned char>(data_[begin_]) : -1; }
  // Consumes the byte Peek() returned.
  void Skip() { ++begin_; }
  // Continues reading at byte `offset` of the input. False when the source cannot go there.
  bool SeekTo(long offset);
  // The errno of a read that failed since the last seek, which ended the input early; 0 when none.
  int read_error() const { return read_error_; }

 private:
  LineSource(int fd, std::unique_ptr<char[]> buffer);
  // Moves the unread bytes to the front of the buffer and reads until more than `want` bytes are
  // unread or the input ends.
  void Fill(size_t want);
  // The position in data_ of the first `byte` at or after `from`, or end_ when there is none.
  size_t Search(char byte, size_t from) const;

  static constexpr size_t kUnknown = static_cast<size_t>(-1);

  int fd_ = -1;                    // the file, or -1 for a text in memory
  std::unique_ptr<char[]> owned_;  // the file's buffer
  const char* data_;               // owned_, or the text
  long buffer_offset_ = 0;         // input offset of data_[0]
  size_t begin_ = 0;               // next unread byte of data_
  size_t end_ = 0;                 // end of the bytes in data_
  int read_error_ = 0;             // errno of the first failed read, 0 when none
  // The next zero byte and CR at or after the last piece's start, or end_; kUnknown after a
  // refill or a seek.
  size_t next_zero_ = kUnknown;
  size_t next_cr_ = kUnknown;
  bool piece_plain_ = false;
};

}  // namespace vard

#endif  // VARDOMAR_TREE_LINE_SOURCE_H_
