// The PGN reader: xz decompression through liblzma, and a character-level
// scanner that splits the text into games and keeps only what the book
// needs of each. A build without liblzma (the Windows one: Debian has no
// liblzma for MinGW) reads plain PGN and refuses xz files by name.
#include "book/pgn.h"

#if BREVALT_HAVE_XZ
#include <lzma.h>
#endif
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace brevalt::tools {

namespace {

// Buffer sizes: raw file bytes per read, and the scanner's window.
constexpr size_t RAW_CHUNK = 1 << 16;
constexpr size_t TEXT_CHUNK = 1 << 16;
// The most bytes the scanner ever looks ahead (a tag line's start).
constexpr size_t LOOKAHEAD = 64;
// A movetext symbol longer than this is garbage; the rest of it is read past.
constexpr size_t MAX_SYMBOL = 48;

// The six bytes every xz stream starts with.
constexpr unsigned char XZ_MAGIC[6] = {0xFD, '7', 'z', 'X', 'Z', 0x00};

// The byte order mark some editors put before UTF-8 text.
constexpr unsigned char UTF8_BOM[3] = {0xEF, 0xBB, 0xBF};

// The four ways a game's movetext may end.
const char* const RESULTS[] = {"1-0", "0-1", "1/2-1/2", "*"};

bool ends_with(const std::string& s, const char* suffix) {
  const size_t n = std::strlen(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

bool is_space(int c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }
bool is_digit(int c) { return c >= '0' && c <= '9'; }
bool is_letter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Characters that end a movetext symbol.
bool ends_symbol(int c) {
  return c < 0 || is_space(c) || std::strchr("{}()[];$\"", c) != nullptr;
}

#if BREVALT_HAVE_XZ
const char* lzma_message(lzma_ret r) {
  switch (r) {
    case LZMA_MEM_ERROR: return "out of memory while decompressing";
    case LZMA_FORMAT_ERROR: return "not in xz format";
    case LZMA_OPTIONS_ERROR: return "unsupported xz options";
    case LZMA_DATA_ERROR: return "corrupt xz data";
    case LZMA_BUF_ERROR: return "truncated xz data";
    default: return "xz decompression failed";
  }
}
#endif

}  // namespace

// The liblzma state, kept out of the header.
#if BREVALT_HAVE_XZ
struct ByteSource::XzDecoder {
  lzma_stream stream = LZMA_STREAM_INIT;
  bool finished = false;
  ~XzDecoder() { lzma_end(&stream); }
};
#else
struct ByteSource::XzDecoder {};
#endif

ByteSource::ByteSource() = default;

ByteSource::~ByteSource() {
  if (file_) std::fclose(file_);
}

bool ByteSource::open_file(const std::string& path, std::string* error) {
  file_ = std::fopen(path.c_str(), "rb");
  if (!file_) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat info;
  if (fstat(fileno(file_), &info) != 0 || S_ISDIR(info.st_mode)) {
    *error = "cannot read " + path + ": not a file";
    return false;
  }
  total_ = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
  raw_.resize(RAW_CHUNK);
  fill_raw();
  if (!error_.empty()) {
    *error = "cannot read " + path + ": " + error_;
    return false;
  }
  // Compressed input is recognised by its name or by its first bytes.
  const bool magic = raw_len_ >= sizeof XZ_MAGIC && std::memcmp(raw_.data(), XZ_MAGIC, sizeof XZ_MAGIC) == 0;
  if (magic || ends_with(path, ".xz")) {
#if BREVALT_HAVE_XZ
    xz_ = std::make_unique<XzDecoder>();
    // Concatenated streams are one text, as xz -d would give it.
    const lzma_ret r = lzma_stream_decoder(&xz_->stream, UINT64_MAX, LZMA_CONCATENATED);
    if (r != LZMA_OK) {
      *error = "cannot read " + path + ": " + lzma_message(r);
      return false;
    }
#else
    *error = "cannot read " + path + ": xz-compressed, and this build reads plain PGN only (decompress it with xz -d)";
    return false;
#endif
  }
  return true;
}

void ByteSource::open_text(std::string text) {
  text_ = std::move(text);
  text_pos_ = 0;
  from_text_ = true;
  total_ = text_.size();
}

bool ByteSource::fill_raw() {
  raw_pos_ = 0;
  raw_len_ = 0;
  if (raw_eof_ || !file_) return false;
  raw_len_ = std::fread(raw_.data(), 1, raw_.size(), file_);
  consumed_ += raw_len_;
  if (raw_len_ < raw_.size()) {
    if (std::ferror(file_)) error_ = std::strerror(errno);
    raw_eof_ = true;
  }
  return raw_len_ > 0;
}

long ByteSource::read(unsigned char* out, size_t size) {
  if (!error_.empty()) return -1;
  if (from_text_) {
    const size_t n = std::min(size, text_.size() - text_pos_);
    std::memcpy(out, text_.data() + text_pos_, n);
    text_pos_ += n;
    consumed_ = text_pos_;
    return static_cast<long>(n);
  }
  if (!file_) return 0;

  // Plain text: the raw bytes as they are.
  if (!xz_) {
    if (raw_pos_ == raw_len_ && !fill_raw()) return error_.empty() ? 0 : -1;
    const size_t n = std::min(size, raw_len_ - raw_pos_);
    std::memcpy(out, raw_.data() + raw_pos_, n);
    raw_pos_ += n;
    return static_cast<long>(n);
  }

#if BREVALT_HAVE_XZ
  // xz: decode until some output is there or the stream has ended.
  lzma_stream& s = xz_->stream;
  if (xz_->finished) return 0;
  s.next_out = out;
  s.avail_out = size;
  while (s.avail_out == size) {
    if (s.avail_in == 0 && raw_pos_ == raw_len_) {
      fill_raw();
      if (!error_.empty()) return -1;
    }
    if (s.avail_in == 0 && raw_pos_ < raw_len_) {
      s.next_in = raw_.data() + raw_pos_;
      s.avail_in = raw_len_ - raw_pos_;
      raw_pos_ = raw_len_;
    }
    const lzma_ret r = lzma_code(&s, (raw_eof_ && s.avail_in == 0) ? LZMA_FINISH : LZMA_RUN);
    if (r == LZMA_STREAM_END) {
      xz_->finished = true;
      break;
    }
    if (r != LZMA_OK) {
      error_ = lzma_message(r);
      return -1;
    }
  }
  return static_cast<long>(size - s.avail_out);
#else
  return -1;  // never reached: open_file refuses xz input in this build
#endif
}

PgnReader::PgnReader(ByteSource& source) : source_(source), buffer_(TEXT_CHUNK) {}

bool PgnReader::fill() {
  if (eof_) return false;
  if (pos_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + pos_, len_ - pos_);
    len_ -= pos_;
    pos_ = 0;
  }
  const long n = source_.read(buffer_.data() + len_, buffer_.size() - len_);
  if (n < 0) {
    error_ = source_.error();
    eof_ = true;
    return false;
  }
  if (n == 0) {
    eof_ = true;
    return false;
  }
  // A NUL byte never occurs in PGN: this is some other kind of file, and
  // reading it as games would only produce nonsense.
  if (std::memchr(buffer_.data() + len_, 0, static_cast<size_t>(n))) {
    error_ = "not PGN text (it holds a NUL byte)";
    eof_ = true;
    return false;
  }
  len_ += static_cast<size_t>(n);
  // Files saved by some editors open with the UTF-8 byte order mark, which
  // would otherwise read as a move before the first tag.
  if (!started_) {
    started_ = true;
    if (len_ >= sizeof UTF8_BOM && std::memcmp(buffer_.data(), UTF8_BOM, sizeof UTF8_BOM) == 0)
      pos_ = sizeof UTF8_BOM;
  }
  return true;
}

int PgnReader::peek() {
  if (pos_ == len_ && !fill()) return -1;
  return buffer_[pos_];
}

int PgnReader::get() {
  const int c = peek();
  if (c >= 0) {
    ++pos_;
    line_start_ = c == '\n';
  }
  return c;
}

bool PgnReader::looking_at(const char* text) {
  const size_t n = std::strlen(text);
  while (len_ - pos_ < n)
    if (!fill()) return false;
  return std::memcmp(buffer_.data() + pos_, text, n) == 0;
}

bool PgnReader::at_next_game() {
  if (!line_start_ || peek() != '[') return false;
  // A tag pair line: '[', a name, spaces, a quote. Nothing else in a
  // comment or a variation starts a line like that ("[%clk" does not).
  while (len_ - pos_ < LOOKAHEAD && fill()) {
  }
  size_t i = pos_ + 1;
  const size_t end = std::min(len_, pos_ + LOOKAHEAD);
  if (i >= end || !is_letter(buffer_[i])) return false;
  while (i < end && (is_letter(buffer_[i]) || is_digit(buffer_[i]) || buffer_[i] == '_')) ++i;
  if (i >= end || buffer_[i] != ' ') return false;
  while (i < end && buffer_[i] == ' ') ++i;
  return i < end && buffer_[i] == '"';
}

void PgnReader::skip_line() {
  for (int c = get(); c >= 0 && c != '\n'; c = get()) {
  }
}

bool PgnReader::skip_comment() {
  get();  // '{'
  for (;;) {
    if (at_next_game()) return false;
    const int c = get();
    if (c < 0) return false;
    if (c == '}') return true;
  }
}

bool PgnReader::skip_variation() {
  int depth = 0;
  for (;;) {
    if (at_next_game()) return false;
    const int c = peek();
    if (c < 0) return false;
    if (line_start_ && c == '%') {
      skip_line();
    } else if (c == '{') {
      if (!skip_comment()) return false;
    } else if (c == ';') {
      skip_line();
    } else {
      get();
      if (c == '(') ++depth;
      if (c == ')' && --depth == 0) return true;
    }
  }
}

void PgnReader::read_tag(PgnGame* game, bool* saw_event) {
  get();  // '['
  std::string name, value;
  int c = peek();
  while (c == ' ' || c == '\t') get(), c = peek();
  while (is_letter(c) || is_digit(c) || c == '_') name += static_cast<char>(get()), c = peek();
  while (c == ' ' || c == '\t') get(), c = peek();
  if (c != '"') {
    skip_line();  // not a tag pair after all
    return;
  }
  get();
  for (c = get(); c >= 0 && c != '"' && c != '\n'; c = get()) {
    if (c == '\\' && (peek() == '"' || peek() == '\\')) c = get();
    value += static_cast<char>(c);
  }
  if (c != '"') return;  // the value ran to the line's end: nothing kept
  c = peek();
  while (c == ' ' || c == '\t') get(), c = peek();
  if (c == ']') get();

  if (name == "Event") *saw_event = true;
  else if (name == "White") game->white = value;
  else if (name == "Black") game->black = value;
  else if (name == "Result") game->result_tag = value;
  else if (name == "FEN") game->has_fen = true;
  else if (name == "SetUp") game->setup = value == "1";
}

bool PgnReader::take_symbol(PgnGame* game) {
  char text[MAX_SYMBOL + 1];
  size_t n = 0;
  while (!ends_symbol(peek())) {
    const int c = get();
    if (n < MAX_SYMBOL) text[n++] = static_cast<char>(c);
  }
  if (n == 0) {
    get();  // a lone delimiter such as '}' or ']' outside anything it closes
    return false;
  }
  text[n] = '\0';

  // A move number, "12." or "12...", possibly glued to the move after it.
  size_t i = 0;
  if (is_digit(text[0])) {
    size_t j = 0;
    while (is_digit(text[j])) ++j;
    if (text[j] == '.' || text[j] == '\0') i = j;
  }
  while (text[i] == '.') ++i;
  std::string symbol(text + i, n - i);
  if (symbol.empty()) return false;

  for (const char* r : RESULTS) {
    if (symbol == r) {
      game->result = symbol;
      return true;
    }
  }

  // Check, mate and judgement marks, and a trailing "e.p.", say nothing
  // about which move was played.
  for (bool again = true; again && !symbol.empty();) {
    again = false;
    if (ends_with(symbol, "e.p.")) {
      symbol.resize(symbol.size() - 4);
      again = true;
    } else if (std::strchr("+#!?", symbol.back())) {
      symbol.pop_back();
      again = true;
    }
  }
  if (!symbol.empty()) game->moves.push_back(std::move(symbol));
  return false;
}

bool PgnReader::next(PgnGame* game) {
  *game = PgnGame{};
  bool any = false, movetext = false, saw_event = false;
  // Ends the game in hand: returned when anything of it was read.
  auto finish = [&]() {
    if (!any) return false;
    game->number = ++games_;
    return true;
  };
  while (error_.empty()) {
    const int c = peek();
    if (c < 0) break;
    if (line_start_ && c == '%') {
      skip_line();  // an escape line belongs to some other program
    } else if (is_space(c)) {
      get();
    } else if (c == '[') {
      // Tags after movetext, or a second Event tag, open the next game:
      // the one in hand had no result token.
      if (movetext || (saw_event && (looking_at("[Event ") || looking_at("[Event\"")))) return finish();
      read_tag(game, &saw_event);
      any = true;
    } else if (c == '{') {
      // A lost closing brace swallows text up to the next game's tags; a
      // game it cut into is reported, a comment outside any game is not.
      if (!skip_comment() && any) {
        game->problem = "comment never closed";
        return finish();
      }
    } else if (c == ';') {
      skip_line();
    } else if (c == '(') {
      any = movetext = true;
      if (!skip_variation()) {
        game->problem = "variation never closed";
        return finish();
      }
    } else if (c == '$') {
      get();  // a numeric annotation glyph
      while (is_digit(peek())) get();
    } else {
      any = movetext = true;
      if (take_symbol(game)) return finish();
    }
  }
  return error_.empty() && finish();
}

}  // namespace brevalt::tools
