// LineSource: a file read through its buffer, refilled as lines cross the buffer's end and with the
// system handing out short reads, gives exactly the pieces the same text gives in memory.
#include "tree/line_source.h"

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform/env.h"

namespace vard {
namespace {

// The real system, except that a read returns at most `most` bytes.
class ShortReadEnv : public Env {
 public:
  explicit ShortReadEnv(size_t most) : most_(most) {}
  ssize_t Read(int fd, void* buf, size_t size) override {
    return Env::Read(fd, buf, size < most_ ? size : most_);
  }

 private:
  const size_t most_;
};

// Pieces of at most `max` bytes, each followed by the byte Peek shows (or -1), as a reader uses
// them: a piece cut at `max` is followed by a peek and, for a '\n', a skip. Each piece is checked
// against what the source says of its zero bytes and CRs.
std::vector<std::string> Pieces(LineSource& source, size_t max) {
  std::vector<std::string> pieces;
  for (std::string_view piece = source.NextPiece(max); !piece.empty();
       piece = source.NextPiece(max)) {
    const bool plain = piece.find('\0') == piece.npos && piece.find('\r') == piece.npos;
    EXPECT_EQ(plain, source.PieceIsPlain()) << pieces.size();
    std::string seen(piece);
    if (piece.size() == max) {
      seen += "|" + std::to_string(source.Peek());
      if (source.Peek() == '\n') source.Skip();
    }
    pieces.push_back(seen);
  }
  return pieces;
}

// Lines from empty to past the piece limit, with CR LF, lone CR and zero bytes, up to `size`
// bytes and an unterminated last line.
std::string Lines(size_t size) {
  std::string text;
  for (size_t i = 0; text.size() < size; ++i) {
    std::string line(i * 37 % 1100, static_cast<char>('a' + i % 26));
    if (i % 7 == 0 && !line.empty()) line[line.size() / 2] = '\0';
    if (i % 11 == 0 && !line.empty()) line.back() = '\r';
    text += line + (i % 3 == 0 ? "\r\n" : "\n");
  }
  return text + "no newline at the end";
}

TEST(LineSourceTest, AFileGivesThePiecesOfTheSameTextInMemory) {
  // Over 2 MB read whole, and in short reads, so that lines and CR LF pairs straddle the
  // buffer's end and a read's end; and a small file read a byte at a time, so that a piece ends
  // exactly where the bytes read so far do.
  constexpr size_t kMax = 1022;
  ShortReadEnv short_reads(4093);
  ShortReadEnv byte_reads(1);
  const struct {
    Env* env;  // null: the real system
    size_t size;
  } cases[] = {{nullptr, 2'300'000}, {&short_reads, 2'300'000}, {&byte_reads, 60'000}};
  for (const auto& c : cases) {
    const std::string text = Lines(c.size);
    const std::string path = ::testing::TempDir() + "/line_source_test.txt";
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, file);
    ASSERT_EQ(text.size(), std::fwrite(text.data(), 1, text.size(), file));
    ASSERT_EQ(0, std::fclose(file));
    LineSource memory(text);
    const std::vector<std::string> expected = Pieces(memory, kMax);
    ASSERT_TRUE(memory.SeekTo(0));
    EXPECT_EQ(expected, Pieces(memory, kMax)) << "read again after a seek back";
    Env* previous = Env::SetForTesting(c.env);
    const std::unique_ptr<LineSource> from_file = LineSource::OpenFile(path.c_str());
    ASSERT_NE(nullptr, from_file);
    EXPECT_EQ(expected, Pieces(*from_file, kMax)) << c.size;
    EXPECT_EQ(0, from_file->read_error());
    Env::SetForTesting(previous);
    unlink(path.c_str());
  }
}

}  // namespace
}  // namespace vard
