// The search as a whole, in process: what a decision leaves behind (the
// board, the path state, the tables), the same tree for the same search,
// and forced mates found and kept out of the transposition tables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "board/makemove.h"
#include "board/position.h"
#include "config/params.h"
#include "frontend/chess_rules.h"
#include "frontend/epd.h"
#include "frontend/interpreter.h"
#include "frontend/mainloop.h"
#include "search/root.h"
#include "search/search.h"
#include "search/tables.h"
#include "search/timeman.h"
#include "support/engine_env.h"
#include "support/search_fixture.h"

namespace brevalt {
namespace {

std::string square_text(int s) {
  return std::string{static_cast<char>('a' + s % 8), static_cast<char>('1' + s / 8)};
}

class Search : public testing::SearchFixture {
 protected:
  static std::string best_move() {
    return square_text(pos.move_list[1][0].from) + square_text(pos.move_list[1][0].to);
  }
};

// Everything of the game position a search must give back.
struct GameState {
  uint8_t squares[64];
  uint32_t lo, hi, pawn_lo_, pawn_hi_;
  int16_t material_, ep_black, ep_white, white_castled_, black_castled_, game_ply_, white_king, black_king;
  StateRecord root;

  static GameState take() {
    GameState g{};
    std::memcpy(g.squares, pos.board, sizeof(pos.board));
    g.lo = pos.hash_lo, g.hi = pos.hash_hi, g.pawn_lo_ = pos.pawn_lo, g.pawn_hi_ = pos.pawn_hi;
    g.material_ = pos.material, g.ep_black = pos.ep_black_pawn, g.ep_white = pos.ep_white_pawn;
    g.white_castled_ = pos.white_castled, g.black_castled_ = pos.black_castled, g.game_ply_ = pos.game_ply;
    g.white_king = pos.white_king_sq(), g.black_king = pos.black_king_sq();
    g.root = pos.state_stack[0];
    return g;
  }
  std::string difference(const GameState& o) const {
    if (std::memcmp(squares, o.squares, sizeof(squares)) != 0) return "board";
    if (lo != o.lo || hi != o.hi) return "position key";
    if (pawn_lo_ != o.pawn_lo_ || pawn_hi_ != o.pawn_hi_) return "pawn key";
    if (material_ != o.material_) return "material";
    if (ep_black != o.ep_black || ep_white != o.ep_white) return "en passant";
    if (white_castled_ != o.white_castled_ || black_castled_ != o.black_castled_) return "castled flags";
    if (game_ply_ != o.game_ply_) return "game ply";
    if (white_king != o.white_king || black_king != o.black_king) return "king squares";
    const StateRecord& a = root;
    const StateRecord& b = o.root;
    if (a.white_king_moves != b.white_king_moves || a.black_king_moves != b.black_king_moves ||
        a.white_h_rook_moves != b.white_h_rook_moves || a.white_a_rook_moves != b.white_a_rook_moves ||
        a.black_h_rook_moves != b.black_h_rook_moves || a.black_a_rook_moves != b.black_a_rook_moves)
      return "castling counters";
    return "";
  }
};

// The search-side state every decision must leave as it found it.
void expect_search_state_reset(int depth) {
  EXPECT_EQ(pos.ply, 0);
  EXPECT_EQ(pos.state_top, &pos.state_stack[0]);
  EXPECT_EQ(search_path.null_depth, 0);
  EXPECT_EQ(search_path.recapture_ext_count, 0);
  EXPECT_EQ(search_path.ext_plies, 0);
  if (depth > 0) {
    EXPECT_EQ(search_path.nominal_depth, depth);
  }
  EXPECT_EQ(pos.lists_frozen, 0);
  EXPECT_EQ(search_path.quiescence_mode, 0);
  EXPECT_EQ(search_path.draw_flag, 0);
  EXPECT_EQ(control.stop_search, 0);
  EXPECT_EQ(search_root.stop_at_root_move, 0);
  EXPECT_EQ(control.thinking, 0);
  EXPECT_EQ(search_root.search_running, 0);
  EXPECT_EQ(position_fault(), nullptr);
  const KeyPair k = compute_position_key();
  EXPECT_EQ(k.lo, pos.hash_lo);
  EXPECT_EQ(k.hi, pos.hash_hi);
  // The repetition table holds only positions of the game, none on a path.
  int on_path = 0, search_only = 0;
  for (int32_t i = 0; i < REPETITION_ENTRIES; ++i) {
    const RepEntry& e = search_path.repetition_table[i];
    if (e.search_count != 0) ++on_path;
    if ((e.key_lo != 0 || e.key_hi != 0) && e.game_count == 0) ++search_only;
  }
  EXPECT_EQ(on_path, 0);
  EXPECT_EQ(search_only, 0);
  // Killers and history start afresh for the next search.
  int killers = 0, history = 0;
  for (const auto& row : search_path.killer_table)
    for (const KillerEntry& k : row) killers += k.from != NO_SQUARE;
  for (int32_t h : search_path.history_table) history += h != 1;
  EXPECT_EQ(killers, 0);
  EXPECT_EQ(history, 0);
}

TEST_F(Search, FixedDepthSearchGivesTheGameStateBack) {
  for (const char* fen : {"r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3",
                          "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
                          "rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR b KQkq - 0 2",
                          "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1"}) {
    SCOPED_TRACE(fen);
    prepare(fen, 4);
    // The position has occurred in the game: that registration must stay.
    register_position();
    const KeyPair game_key = side_key(pos.game_ply & 1, pos.hash_lo, pos.hash_hi);
    const GameState before = GameState::take();
    const std::string printed = decide();
    EXPECT_EQ(printed, "");
    EXPECT_EQ(search_path.iteration_depth, 4);
    EXPECT_EQ(GameState::take().difference(before), "");
    expect_search_state_reset(4);
    const RepEntry& e = search_path.repetition_table[game_key.lo & REPETITION_MASK];
    EXPECT_EQ(e.key_lo, game_key.lo);
    EXPECT_EQ(e.key_hi, game_key.hi);
    EXPECT_EQ(e.game_count, 1);
    EXPECT_EQ(e.search_count, 0);
  }
}

TEST_F(Search, SearchStoppedByTheClockGivesTheGameStateBack) {
  // A second on the clock leaves nothing to allot: the deadline test in the
  // tree stops the search as soon as it may, long before its depth limit.
  prepare("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 40);
  game_clock.own_time = 1;
  game_clock.own_time_cs = 50;
  const GameState before = GameState::take();
  decide();
  EXPECT_LT(search_path.iteration_depth, 40);
  EXPECT_EQ(GameState::take().difference(before), "");
  expect_search_state_reset(0);
}

TEST_F(Search, SameSearchSearchesTheSameTree) {
  for (const char* fen : {"r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3",
                          "2rq1rk1/pb1nbppp/1p2pn2/2pp4/2PP4/1PN1PN2/PBQ1BPPP/R4RK1 w - - 0 11",
                          "8/8/1p4k1/p1p2p2/P1P2P2/1P4K1/8/8 w - - 0 1"}) {
    SCOPED_TRACE(fen);
    prepare(fen, 5);
    decide();
    const int32_t nodes = search_path.search_nodes;
    const std::string move = best_move();
    const int32_t score = search_root.root_best_score;
    EXPECT_GT(nodes, 0);
    prepare(fen, 5);
    decide();
    EXPECT_EQ(search_path.search_nodes, nodes);
    EXPECT_EQ(best_move(), move);
    EXPECT_EQ(search_root.root_best_score, score);
  }
}

// Side to move mates within `moves` of its own moves, whatever the defence.
bool forced_mate(const testing::rules::Position& p, int moves) {
  for (const testing::rules::Move& m : p.legal_moves()) {
    const testing::rules::Position after = *p.after(m.text());
    const std::vector<testing::rules::Move> replies = after.legal_moves();
    if (replies.empty()) {
      if (after.in_check()) return true;
      continue;
    }
    if (moves <= 1) continue;
    bool all = true;
    for (const testing::rules::Move& r : replies)
      if (!forced_mate(*after.after(r.text()), moves - 1)) {
        all = false;
        break;
      }
    if (all) return true;
  }
  return false;
}

// No transposition entry of either side holds a mate score.
int mate_scores_in_tables() {
  int found = 0;
  for (int s = 0; s < 2; ++s)
    for (const TtSlot* t : {shared_tables.transposition_table[s], shared_tables.always_replace_table[s]})
      for (int32_t i = 0; i < shared_tables.tt_entries; ++i) {
        const TtEntry e = tt_load(t[i]);
        if ((e.key_lo != 0 || e.key_hi != 0) && (e.score >= MATE_BOUND || e.score <= -MATE_BOUND)) ++found;
      }
  return found;
}

TEST_F(Search, ForcedMatesAreFoundAndNeverStored) {
  struct Case {
    const char* fen;
    int moves;
  };
  for (const Case& c : {Case{"7k/8/8/8/8/8/R7/1R4K1 w - - 0 1", 2}, Case{"1r4k1/r7/8/8/8/8/8/7K b - - 0 1", 2},
                        Case{"6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1", 1}}) {
    SCOPED_TRACE(c.fen);
    const testing::rules::Position p = testing::rules::Position::from_fen(c.fen);
    ASSERT_TRUE(forced_mate(p, c.moves));
    if (c.moves > 1) {
      ASSERT_FALSE(forced_mate(p, c.moves - 1));
    }
    prepare(c.fen, 20);
    decide();
    // Mate at the n-th own move: the mated side is to move 2n plies down.
    EXPECT_EQ(search_root.root_best_score, MATE_SCORE - 2 * c.moves);
    EXPECT_LT(search_path.iteration_depth, 20);  // the mate ends the deepening
    const std::string move = best_move();
    const std::optional<testing::rules::Position> after = p.after(move);
    ASSERT_TRUE(after) << move;
    // The move chosen keeps the mate: every defence still loses in time.
    bool keeps = true;
    if (after->legal_moves().empty()) {
      keeps = after->in_check();
    } else {
      for (const testing::rules::Move& r : after->legal_moves())
        keeps = keeps && c.moves > 1 && forced_mate(*after->after(r.text()), c.moves - 1);
    }
    EXPECT_TRUE(keeps) << move;
    EXPECT_EQ(mate_scores_in_tables(), 0);
    expect_search_state_reset(0);
  }
}

TEST_F(Search, SingleLegalMoveEndsTheDeepeningAfterTheSecondIteration) {
  // In check from the rook on a1: only the knight's block on g1 is legal.
  const char* fen = "6k1/8/8/8/8/7N/6PP/r6K w - - 0 1";
  ASSERT_EQ(testing::rules::Position::from_fen(fen).legal_texts(), std::vector<std::string>{"h3g1"});
  prepare(fen, 20);
  decide();
  EXPECT_EQ(search_path.iteration_depth, 2);
  EXPECT_EQ(best_move(), "h3g1");
  expect_search_state_reset(0);
}

TEST_F(Search, LosingSideStoresNoMateScoresEither) {
  // Whatever White plays, the rook check on the first rank mates: the
  // rook on the second rank holds the king on the first.
  const char* fen = "1r4k1/8/8/8/8/8/r7/6K1 w - - 0 1";
  prepare(fen, 6);
  decide();
  EXPECT_LE(search_root.root_best_score, -MATE_BOUND);
  EXPECT_EQ(mate_scores_in_tables(), 0);
  expect_search_state_reset(0);
}

}  // namespace
}  // namespace brevalt
