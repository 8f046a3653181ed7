// Reading games from PGN files, plain or xz-compressed: the tag pairs that
// decide whether a game counts, the moves of its main line as written, and
// the result token that ends it. Comments, variations, NAGs, move numbers
// and '%' escape lines are read past; nothing here knows the rules of chess.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace brevalt::tools {

// One game as the reader hands it over.
struct PgnGame {
  long number = 0;                  // 1-based position in its file
  std::string white, black;         // the players' tags, empty when absent
  std::string result_tag;           // the Result tag, empty when absent
  bool has_fen = false;             // a FEN tag is present
  bool setup = false;               // SetUp "1"
  std::vector<std::string> moves;   // main-line moves, annotation marks stripped
  std::string result;               // "1-0", "0-1", "1/2-1/2" or "*"; empty when none ended the game
  std::string problem;              // a syntax fault that ended the game early, empty when none
};

// Chunked bytes of one input: a plain file, an xz stream (decided by the
// ".xz" suffix or the xz magic bytes), or text held in memory.
class ByteSource {
 public:
  ByteSource();
  ~ByteSource();
  ByteSource(const ByteSource&) = delete;
  ByteSource& operator=(const ByteSource&) = delete;

  // Opens the file; false with a one-line reason when it cannot be read.
  bool open_file(const std::string& path, std::string* error);
  // Serves the text itself (for tests and for tools that hold the PGN already).
  void open_text(std::string text);
  // Up to `size` bytes of PGN text; 0 at the end, -1 on a read or
  // decompression error (error() then says which).
  long read(unsigned char* out, size_t size);
  // Bytes of the file taken so far (compressed bytes for xz) and its size.
  uint64_t consumed() const { return consumed_; }
  uint64_t total() const { return total_; }
  const std::string& error() const { return error_; }

 private:
  struct XzDecoder;
  // Refills the raw buffer from the file; false at its end.
  bool fill_raw();

  std::FILE* file_ = nullptr;
  std::unique_ptr<XzDecoder> xz_;
  std::string text_;
  size_t text_pos_ = 0;
  bool from_text_ = false;
  std::vector<unsigned char> raw_;
  size_t raw_pos_ = 0, raw_len_ = 0;
  bool raw_eof_ = false;
  uint64_t consumed_ = 0, total_ = 0;
  std::string error_;
};

// Splits a PGN text into games.
class PgnReader {
 public:
  explicit PgnReader(ByteSource& source);
  // The next game; false at the end of the input or on an input error
  // (error() is then non-empty).
  bool next(PgnGame* game);
  const std::string& error() const { return error_; }

 private:
  // Character access over a refilled buffer; -1 at the end.
  int peek();
  int get();
  // Does the input continue with `text` (it is not consumed)?
  bool looking_at(const char* text);
  bool fill();

  void skip_line();
  // Reads past a brace comment; false when the input ends inside it or the
  // next game's tags turn up first (the closing brace was lost).
  bool skip_comment();
  // Reads past a variation and everything nested in it; false as for
  // comments.
  bool skip_variation();
  // Reads one [Name "value"] pair into the game.
  void read_tag(PgnGame* game, bool* saw_event);
  // One run of movetext characters: a move number, a move, a result or an
  // annotation. Returns true when it was the game's result.
  bool take_symbol(PgnGame* game);
  // A line that opens a new game's tag section starts here.
  bool at_next_game();

  ByteSource& source_;
  std::vector<unsigned char> buffer_;
  size_t pos_ = 0, len_ = 0;
  bool eof_ = false;
  bool started_ = false;  // the first bytes have been looked at
  bool line_start_ = true;
  long games_ = 0;
  std::string error_;
};

}  // namespace brevalt::tools
