// The rules of chess, written out once more for the end-to-end tests: a
// position from FEN, its legal moves in coordinate notation, moves applied,
// and the engine's thinking-line notation read back into moves. It shares
// no code with the engine, so that the engine's moves can be judged by it.
#pragma once

#include <cctype>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace brevalt::testing::rules {

inline int square_of(const std::string& text, size_t at = 0) {
  if (text.size() < at + 2) return -1;
  const int file = text[at] - 'a', rank = text[at + 1] - '1';
  if (file < 0 || file > 7 || rank < 0 || rank > 7) return -1;
  return rank * 8 + file;
}

inline std::string square_name(int sq) {
  return std::string{static_cast<char>('a' + sq % 8), static_cast<char>('1' + sq / 8)};
}

struct Move {
  int from, to;
  char promotion;  // 0, or 'q', 'r', 'b', 'n'
  std::string text() const {
    std::string t = square_name(from) + square_name(to);
    if (promotion) t += promotion;
    return t;
  }
};

class Position {
 public:
  // Placement, side, castling letters and en passant square; the counters
  // are not needed here. An unreadable text gives an empty board.
  static Position from_fen(const std::string& fen) {
    Position p;
    size_t i = 0;
    int rank = 7, file = 0;
    for (; i < fen.size() && fen[i] != ' '; ++i) {
      const char c = fen[i];
      if (c == '/') {
        --rank;
        file = 0;
      } else if (c >= '1' && c <= '8') {
        file += c - '0';
      } else if (rank >= 0 && file < 8) {
        p.board_[rank * 8 + file++] = c;
      }
    }
    ++i;
    p.white_ = i < fen.size() && fen[i] == 'w';
    i += 2;
    for (; i < fen.size() && fen[i] != ' '; ++i) {
      if (fen[i] == 'K') p.rights_[0] = true;
      if (fen[i] == 'Q') p.rights_[1] = true;
      if (fen[i] == 'k') p.rights_[2] = true;
      if (fen[i] == 'q') p.rights_[3] = true;
    }
    ++i;
    if (i < fen.size() && fen[i] != '-') p.ep_ = square_of(fen, i);
    return p;
  }

  char at(int sq) const { return board_[sq]; }
  bool white_to_move() const { return white_; }

  int king(bool white) const {
    for (int s = 0; s < 64; ++s)
      if (board_[s] == (white ? 'K' : 'k')) return s;
    return -1;
  }

  // Is `target` attacked by a piece of the given colour?
  bool attacked(int target, bool by_white) const {
    for (int s = 0; s < 64; ++s)
      if (board_[s] != ' ' && is_white(board_[s]) == by_white && attacks(s, target)) return true;
    return false;
  }

  bool in_check() const { return attacked(king(white_), !white_); }

  std::vector<Move> legal_moves() const {
    std::vector<Move> result;
    for (const Move& m : pseudo_moves()) {
      Position after = *this;
      after.apply(m);
      if (!after.attacked(after.king(white_), !white_)) result.push_back(m);
    }
    return result;
  }

  std::vector<std::string> legal_texts() const {
    std::vector<std::string> texts;
    for (const Move& m : legal_moves()) texts.push_back(m.text());
    return texts;
  }

  // The legal move written as the protocol writes it: "e2e4", "e7e8q",
  // "e7e8" (a queen), "e1g1" or "o-o" / "o-o-o" for castling.
  std::optional<Move> find(std::string text) const {
    if (text == "o-o" || text == "o-o-o") {
      const int k = king(white_);
      if (k < 0) return std::nullopt;
      text = square_name(k) + square_name(k + (text == "o-o" ? 2 : -2));
    }
    const int from = square_of(text, 0), to = square_of(text, 2);
    if (from < 0 || to < 0) return std::nullopt;
    char promotion = text.size() > 4 ? static_cast<char>(std::tolower(static_cast<unsigned char>(text[4]))) : 0;
    for (const Move& m : legal_moves()) {
      if (m.from != from || m.to != to) continue;
      if (m.promotion == promotion || (promotion == 0 && m.promotion == 'q')) return m;
    }
    return std::nullopt;
  }

  bool is_legal(const std::string& text) const { return find(text).has_value(); }

  // The position after a legal move given in protocol text; nothing when
  // the move is not legal here.
  std::optional<Position> after(const std::string& text) const {
    const std::optional<Move> m = find(text);
    if (!m) return std::nullopt;
    Position p = *this;
    p.apply(*m);
    return p;
  }

  // The engine's thinking-line notation of a move: the letter of the piece
  // standing on the target square afterwards (a promoted pawn shows its
  // queen, castling its king), none for a pawn, whose capture shows its
  // file; 'x' for a capture; the target square.
  std::string engine_notation(const Move& m) const {
    const char piece = static_cast<char>(std::toupper(static_cast<unsigned char>(board_[m.from])));
    const bool capture = board_[m.to] != ' ' || (piece == 'P' && m.to == ep_ && m.from % 8 != m.to % 8);
    std::string t;
    if (piece == 'P' && !m.promotion) {
      if (capture) t += static_cast<char>('a' + m.from % 8);
    } else {
      t += m.promotion ? static_cast<char>(std::toupper(static_cast<unsigned char>(m.promotion))) : piece;
    }
    if (capture) t += 'x';
    return t + square_name(m.to);
  }

  // The legal moves (promotions to a queen only) written as `token`.
  std::vector<Move> matching(const std::string& token) const {
    std::vector<Move> found;
    for (const Move& m : legal_moves())
      if ((m.promotion == 0 || m.promotion == 'q') && engine_notation(m) == token) found.push_back(m);
    return found;
  }

  bool same_placement(const Position& o) const {
    for (int s = 0; s < 64; ++s)
      if (board_[s] != o.board_[s]) return false;
    return white_ == o.white_;
  }

 private:
  Position() {
    for (char& c : board_) c = ' ';
  }

  static bool is_white(char c) { return c >= 'A' && c <= 'Z'; }
  static char kind(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

  bool attacks(int from, int target) const {
    const char p = board_[from];
    const int df = target % 8 - from % 8, dr = target / 8 - from / 8;
    const int adf = std::abs(df), adr = std::abs(dr);
    switch (kind(p)) {
      case 'P':
        return adf == 1 && dr == (is_white(p) ? 1 : -1);
      case 'N':
        return (adf == 1 && adr == 2) || (adf == 2 && adr == 1);
      case 'K':
        return (adf | adr) != 0 && adf <= 1 && adr <= 1;
      default:
        break;
    }
    const bool straight = (df == 0) != (dr == 0);
    const bool diagonal = adf == adr && adf != 0;
    const char k = kind(p);
    if (!((straight && (k == 'R' || k == 'Q')) || (diagonal && (k == 'B' || k == 'Q')))) return false;
    const int step = (df > 0) - (df < 0) + 8 * ((dr > 0) - (dr < 0));
    for (int s = from + step; s != target; s += step)
      if (board_[s] != ' ') return false;
    return true;
  }

  bool enemy(int sq) const { return board_[sq] != ' ' && is_white(board_[sq]) != white_; }

  void add(std::vector<Move>& list, int from, int to) const {
    const bool promotes = kind(board_[from]) == 'P' && (to / 8 == 7 || to / 8 == 0);
    if (!promotes) {
      list.push_back({from, to, 0});
      return;
    }
    for (char c : {'q', 'r', 'b', 'n'}) list.push_back({from, to, c});
  }

  std::vector<Move> pseudo_moves() const {
    std::vector<Move> list;
    for (int s = 0; s < 64; ++s) {
      const char p = board_[s];
      if (p == ' ' || is_white(p) != white_) continue;
      const int f = s % 8, r = s / 8;
      auto target_ok = [&](int t) { return board_[t] == ' ' || enemy(t); };
      switch (kind(p)) {
        case 'P': {
          const int dir = white_ ? 8 : -8;
          const int one = s + dir;
          if (one >= 0 && one < 64 && board_[one] == ' ') {
            add(list, s, one);
            const int home = white_ ? 1 : 6;
            if (r == home && board_[one + dir] == ' ') add(list, s, one + dir);
          }
          for (int side : {-1, 1}) {
            if (f + side < 0 || f + side > 7 || one < 0 || one > 63) continue;
            const int t = one + side;
            if (enemy(t) || t == ep_) add(list, s, t);
          }
          break;
        }
        case 'N':
        case 'K': {
          static const int knight[8][2] = {{1, 2}, {2, 1}, {2, -1}, {1, -2}, {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
          static const int king_steps[8][2] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
          const auto& steps = kind(p) == 'N' ? knight : king_steps;
          for (const auto& d : steps) {
            const int nf = f + d[0], nr = r + d[1];
            if (nf < 0 || nf > 7 || nr < 0 || nr > 7) continue;
            if (target_ok(nr * 8 + nf)) list.push_back({s, nr * 8 + nf, 0});
          }
          if (kind(p) == 'K') add_castling(list, s);
          break;
        }
        default: {
          const bool rook_lines = kind(p) == 'R' || kind(p) == 'Q';
          const bool bishop_lines = kind(p) == 'B' || kind(p) == 'Q';
          static const int dirs[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
          for (int i = 0; i < 8; ++i) {
            if ((i < 4 && !rook_lines) || (i >= 4 && !bishop_lines)) continue;
            for (int nf = f + dirs[i][0], nr = r + dirs[i][1]; nf >= 0 && nf < 8 && nr >= 0 && nr < 8;
                 nf += dirs[i][0], nr += dirs[i][1]) {
              const int t = nr * 8 + nf;
              if (board_[t] != ' ' && !enemy(t)) break;
              list.push_back({s, t, 0});
              if (board_[t] != ' ') break;
            }
          }
        }
      }
    }
    return list;
  }

  // Castling: the right still held, king and rook on their squares, the
  // squares between empty, and neither the king's square nor the two it
  // crosses and lands on attacked.
  void add_castling(std::vector<Move>& list, int s) const {
    const int home = white_ ? 4 : 60;
    if (s != home) return;
    const char rook = white_ ? 'R' : 'r';
    const bool them = !white_;
    if (rights_[white_ ? 0 : 2] && board_[home + 3] == rook && board_[home + 1] == ' ' && board_[home + 2] == ' ' &&
        !attacked(home, them) && !attacked(home + 1, them) && !attacked(home + 2, them))
      list.push_back({home, home + 2, 0});
    if (rights_[white_ ? 1 : 3] && board_[home - 4] == rook && board_[home - 1] == ' ' && board_[home - 2] == ' ' &&
        board_[home - 3] == ' ' && !attacked(home, them) && !attacked(home - 1, them) && !attacked(home - 2, them))
      list.push_back({home, home - 2, 0});
  }

  void apply(const Move& m) {
    const char p = board_[m.from];
    const bool pawn = kind(p) == 'P';
    if (pawn && m.to == ep_ && m.from % 8 != m.to % 8 && board_[m.to] == ' ')
      board_[m.to + (white_ ? -8 : 8)] = ' ';
    board_[m.to] = p;
    board_[m.from] = ' ';
    if (m.promotion)
      board_[m.to] = white_ ? static_cast<char>(std::toupper(static_cast<unsigned char>(m.promotion))) : m.promotion;
    if (kind(p) == 'K' && std::abs(m.to - m.from) == 2) {
      const bool short_side = m.to > m.from;
      const int corner = short_side ? m.from + 3 : m.from - 4;
      board_[short_side ? m.from + 1 : m.from - 1] = board_[corner];
      board_[corner] = ' ';
    }
    if (kind(p) == 'K') rights_[white_ ? 0 : 2] = rights_[white_ ? 1 : 3] = false;
    for (int sq : {m.from, m.to}) {
      if (sq == 7) rights_[0] = false;
      if (sq == 0) rights_[1] = false;
      if (sq == 63) rights_[2] = false;
      if (sq == 56) rights_[3] = false;
    }
    ep_ = pawn && std::abs(m.to - m.from) == 16 ? (m.from + m.to) / 2 : -1;
    white_ = !white_;
  }

  char board_[64];
  bool white_ = true;
  bool rights_[4] = {false, false, false, false};  // K, Q, k, q
  int ep_ = -1;
};

}  // namespace brevalt::testing::rules
