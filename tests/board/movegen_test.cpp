// Pseudo-legal generation: order of the lists, the stages' boundaries, special moves.
#include <gtest/gtest.h>

#include <algorithm>

#include "board/attacks.h"
#include "board/notation.h"
#include "board/perft.h"
#include "board/validate.h"
#include "board_test_util.h"

using namespace board_test;

namespace {

std::vector<std::string> names(const Position& pos, const MoveEntry* begin, const MoveEntry* end) {
    NotationModes modes(1, 0);
    std::vector<std::string> out;
    char text[MOVE_TEXT];
    for (const MoveEntry* e = begin; e != end; e++) {
        move_to_uci(pos, pos.side, e->move, text);
        out.push_back(text);
    }
    return out;
}

std::vector<std::string> all_names(const Position& pos) {
    MoveEntry list[MAX_MOVES];
    int n = gen_all_moves(pos, list);
    EXPECT_EQ(list[n].move, MOVE_END);
    return names(pos, list, list + n);
}

int sq(const char* name) { return make_square(name[0] - 'a', name[1] - '1'); }

}  // namespace

TEST(MoveGen, StartPositionOrder) {
    auto b = make_board(START_FEN);
    std::vector<std::string> expected = {"a2a3", "b2b3", "c2c3", "d2d3", "e2e3", "f2f3", "g2g3",
                                         "h2h3", "a2a4", "b2b4", "c2c4", "d2d4", "e2e4", "f2f4",
                                         "g2g4", "h2h4", "b1a3", "b1c3", "g1f3", "g1h3"};
    EXPECT_EQ(all_names(b->pos), expected);
    MoveEntry list[MAX_MOVES];
    gen_all_moves(b->pos, list);
    EXPECT_EQ(list[16].piece, make_piece(WHITE, KNIGHT));
    EXPECT_EQ(list[0].captured, 0);
    // Black's replies mirror the order by ascending squares.
    auto black = make_board("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3");
    std::vector<std::string> got = all_names(black->pos);
    ASSERT_EQ(got.size(), 20u);
    EXPECT_EQ(got[0], "a7a6");
    EXPECT_EQ(got[8], "a7a5");
    EXPECT_EQ(got[16], "b8a6");
}

TEST(MoveGen, PromotionsComeInPieceOrder) {
    auto b = make_board("3r3k/4P3/8/8/8/8/8/K7 w - - 0 1");
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_promotions(b->pos, WHITE, 1, list);
    EXPECT_EQ(names(b->pos, list, end),
              (std::vector<std::string>{"e7e8q", "e7e8n", "e7e8b", "e7e8r", "e7d8q", "e7d8n", "e7d8b", "e7d8r"}));
    EXPECT_EQ(list[4].captured, make_piece(BLACK, ROOK));
    end = gen_promotions(b->pos, WHITE, 0, list);
    EXPECT_EQ(names(b->pos, list, end), (std::vector<std::string>{"e7e8q", "e7d8q"}));
    // Promotions never appear among captures or quiet moves.
    std::vector<std::string> all = all_names(b->pos);
    EXPECT_EQ(std::count_if(all.begin(), all.end(), [](const std::string& s) { return s.rfind("e7", 0) == 0; }), 8);
}

TEST(MoveGen, SeventhRankPushesOnlyFromTheirOwnStage) {
    auto b = make_board("4k3/8/2P5/8/8/2p5/8/4K3 w - - 0 1");
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_seventh_pushes(b->pos, WHITE, list);
    EXPECT_EQ(names(b->pos, list, end), std::vector<std::string>{"c6c7"});
    end = gen_quiets(b->pos, WHITE, list, NO_SQUARE);
    for (const auto& n : names(b->pos, list, end)) EXPECT_NE(n, "c6c7");
    end = gen_seventh_pushes(b->pos, BLACK, list);
    EXPECT_EQ(names(b->pos, list, end), std::vector<std::string>{"c3c2"});
}

TEST(MoveGen, CapturesRespectTargetButKeepEnPassantAndKingCaptures) {
    // Black pawn d5 gives no check here; target restricts the victims to one square.
    auto b = make_board("4k3/8/8/1nPpP3/8/2N5/3n4/4K3 w - d6 0 1");
    MoveEntry list[MAX_MOVES];
    MoveEntry* end = gen_captures(b->pos, WHITE, list, sq("b5"));
    EXPECT_EQ(names(b->pos, list, end), (std::vector<std::string>{"e5d6", "c5d6", "c3b5", "e1d2"}));
    EXPECT_EQ(list[0].captured, 0);
    EXPECT_EQ(list[2].captured, make_piece(BLACK, KNIGHT));
    end = gen_captures(b->pos, WHITE, list, NO_SQUARE);
    EXPECT_EQ(names(b->pos, list, end), (std::vector<std::string>{"e5d6", "c5d6", "c3b5", "c3d5", "e1d2"}));
}

TEST(MoveGen, QuietsWithCheckerAreInterpositionsPlusKingMoves) {
    auto b = make_board("4k3/8/8/b7/8/8/1PP5/R3K1N1 w Q - 0 1");
    MoveEntry list[MAX_MOVES];
    const int checker = checker_square(b->pos);
    ASSERT_EQ(checker, sq("a5"));
    MoveEntry* end = gen_quiets(b->pos, WHITE, list, checker);
    EXPECT_EQ(names(b->pos, list, end),
              (std::vector<std::string>{"c2c3", "b2b4", "e1d1", "e1f1", "e1d2", "e1e2", "e1f2", "e1c1"}));
    ASSERT_EQ(end - list, 8);
    const bool legal[8] = {true, true, true, true, false, true, true, false};
    for (int i = 0; i < 8; i++) EXPECT_EQ(is_legal(b->pos, WHITE, list[i].move), legal[i]) << i;
}

TEST(MoveGen, Chess960Castling) {
    // King b1 with its rook on a1 behind it castles to c1.
    auto b = make_board("1k6/8/8/8/8/8/8/RK6 w A - 0 1");
    std::vector<std::string> moves = all_names(b->pos);
    EXPECT_EQ(moves.back(), "b1c1");
    MoveEntry list[MAX_MOVES];
    int n = gen_all_moves(b->pos, list);
    EXPECT_EQ(list[n - 1].move, make_move_code(sq("b1"), sq("c1"), FLAG_QUEEN_SIDE));
    EXPECT_EQ(list[n - 1].captured, 0);
    // King on g1 already: origin and destination coincide.
    auto g = make_board("6k1/8/8/8/8/8/8/6KR w H - 0 1");
    n = gen_all_moves(g->pos, list);
    EXPECT_EQ(list[n - 1].move, make_move_code(sq("g1"), sq("g1"), FLAG_KING_SIDE));
    EXPECT_TRUE(is_legal(g->pos, WHITE, list[n - 1].move));
}

TEST(MoveGen, MoveListBoundHoldsForCrowdedPositions) {
    // Fifteen queens and a king: the largest lists a valid position can produce.
    auto b = make_board("QQQQQ3/QQQQQ3/QQQQQ3/8/8/8/6pp/K5nk w - - 0 1");
    char why[80];
    ASSERT_EQ(validate_position(b->pos, why), 0) << why;
    MoveEntry list[MAX_MOVES];
    int n = gen_all_moves(b->pos, list);
    EXPECT_GT(n, 50);
    EXPECT_LT(n, MAX_MOVES);
    auto spread = make_board("Q2Q1Q2/2Q2Q1Q/Q3Q3/1Q4Q1/3Q3Q/Q3Q3/2Q3pp/K5nk w - - 0 1");
    ASSERT_EQ(validate_position(spread->pos, why), 0) << why;
    n = gen_all_moves(spread->pos, list);
    EXPECT_LT(n, MAX_MOVES);
    EXPECT_GT(n, 200);
}
