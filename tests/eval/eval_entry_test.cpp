#include <string>

#include "eval_test_util.h"

namespace {

class EntryTest : public EvalFixture {
protected:
    int eval(const char* fen, int ply = 1) {
        setup(fen);
        return evaluate(pos, *es, pos.side, ply, false);
    }
};

}  // namespace

TEST_F(EntryTest, InCheckReturnsTheMateBound) {
    setup(START_FEN);
    EXPECT_EQ(evaluate(pos, *es, WHITE, 7, true), 7 - 10000);
    EXPECT_EQ(es->evals, 1u);
    EXPECT_EQ(es->ply, 7);
}

TEST_F(EntryTest, LopsidedMaterialStaysOutOfTheMateRange) {
    // Nine queens against two pawns: a huge score, but not one the search could take for a
    // mate, even after a tablebase shift.
    const int white = eval("k7/pp6/8/8/8/8/QQQQQQQQ/QK6 w - -");
    const int black = eval("k7/pp6/8/8/8/8/QQQQQQQQ/QK6 b - -");
    EXPECT_GT(white, SCORE_DECISIVE);
    EXPECT_LT(black, -SCORE_DECISIVE);
    EXPECT_LT(white + TB_EVAL_SHIFT, SCORE_WIN_MIN);
    EXPECT_GT(black - TB_EVAL_SHIFT, SCORE_LOSS_MAX);
}

TEST_F(EntryTest, TrivialDraws) {
    EXPECT_EQ(eval("4k3/8/8/3n4/8/8/2B5/4K3 w - -"), 0);  // bishop against knight
    EXPECT_EQ(eval("4k3/8/8/8/8/8/8/4K3 b - -"), 0);
    EXPECT_EQ(eval("4k3/8/8/8/8/8/8/1N2KN2 w - -"), 0);  // two knights cannot force mate
    EXPECT_EQ(eval("4k3/8/8/8/8/8/8/1n2Kn2 b - -"), 0);
    EXPECT_GT(eval("4k3/8/8/8/8/8/P7/1N2KN2 w - -"), 300);  // with a pawn it is a real evaluation
    EXPECT_GT(eval("4k3/8/8/8/8/8/8/1B2KN2 w - -"), 900);   // bishop and knight do win
}

TEST_F(EntryTest, QueenAgainstBareKingDrivesToTheCorner) {
    int centre = eval("8/8/8/3k4/8/8/8/Q3K3 w - -");
    int edge = eval("8/8/8/8/8/8/2Q5/k3K3 w - -");
    int near = eval("8/8/8/8/8/2K5/3Q4/k7 w - -");
    EXPECT_GT(centre, 1300);
    EXPECT_GT(edge, centre);
    EXPECT_GT(near, edge);
    // The defending side to move sees the negation; a rook for Black works alike.
    EXPECT_EQ(eval("8/8/8/8/8/2K5/3Q4/k7 b - -"), -near);
    EXPECT_GT(eval("8/8/8/8/8/2k5/3r4/K7 b - -"), 1000);
    // Mop-up is scored even with extra pawns and minors on the strong side.
    EXPECT_GT(eval("8/8/8/3k4/8/8/P7/QN2K3 w - -"), 1300);
}

TEST_F(EntryTest, BishopAndKnightMateInTheBishopsCorner) {
    // Dark bishop: a1 and h8 are the mating corners.
    int right = eval("8/8/8/8/8/1K1N4/8/k1B5 w - -");
    int other_right = eval("7k/8/6K1/5N2/8/8/8/2B5 w - -");
    int wrong_corner = eval("k7/8/1K6/2N5/8/8/8/2B5 w - -");
    EXPECT_GT(right, 900);
    EXPECT_GT(right, wrong_corner);
    EXPECT_EQ(other_right, right);
    EXPECT_EQ(eval("8/8/8/8/8/1K1N4/8/k1B5 b - -"), -right);
    // A light bishop turns the table: a8 and h1 become the mating corners.
    EXPECT_GT(eval("k7/8/1K6/2N5/8/8/8/1B6 w - -"), eval("7k/8/6K1/5N2/8/8/8/1B6 w - -"));
}

TEST_F(EntryTest, KingAndPawnUsesTheWinTable) {
    int win = eval("4k3/8/4K3/4P3/8/8/8/8 w - -");
    EXPECT_GT(win, 800);
    // Stalemate trap: the defender to move has no move.
    int draw = eval("4k3/4P3/4K3/8/8/8/8/8 b - -");
    EXPECT_GT(draw, -100);
    EXPECT_LT(draw, 0);
    // Black pawn, mirrored board: the same verdicts.
    EXPECT_EQ(eval("8/8/8/8/4p3/4k3/8/4K3 b - -"), win);
    EXPECT_EQ(eval("8/8/8/8/8/4k3/4p3/4K3 w - -"), draw);
}

TEST_F(EntryTest, ContemptFavoursTheRootSide) {
    search_control.game_plies = 10;
    int hce_start = hce(START_FEN);
    search_control.root_side = WHITE;
    EXPECT_EQ(eval(START_FEN) - hce_start, 15);
    search_control.root_side = BLACK;
    EXPECT_EQ(eval(START_FEN) - hce_start, -15);

    const char* pawns = "4k3/4p3/8/8/8/8/4P3/4K3 w - -";
    int hce_pawns = hce(pawns);
    search_control.root_side = WHITE;
    EXPECT_EQ(eval(pawns) - hce_pawns, -13);
    settings.contempt = 100;  // 100 * 400 / 8500 - 13.59 = -8.88
    EXPECT_EQ(eval(pawns) - hce_pawns, -8);
    settings.contempt = -150;
    EXPECT_EQ(eval(START_FEN) - hce_start, -135);  // -150.35 + 15.07
}

TEST_F(EntryTest, NoContemptEarlyInTheGameOrInTheBenchmark) {
    int hce_start = hce(START_FEN);
    search_control.game_plies = 4;
    EXPECT_EQ(eval(START_FEN), hce_start);
    search_control.game_plies = 5;
    search_control.search_state = SEARCH_BENCH;
    EXPECT_EQ(eval(START_FEN), hce_start);
}

TEST_F(EntryTest, CacheIsTrustedOnlyBeyondPlyTwo) {
    const char* fen = "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4";
    int s = eval(fen, 1);
    EvalCacheEntry& e = es->cache[pos.key & (EVAL_CACHE_SIZE - 1)];
    EXPECT_EQ(e.key, pos.key);
    EXPECT_EQ(e.score, s);
    e.score = 1234;  // a poisoned entry reveals whether the cache answered
    EXPECT_EQ(evaluate(pos, *es, WHITE, 3, false), 1234);
    EXPECT_EQ(es->cache_hits, 1u);
    EXPECT_EQ(evaluate(pos, *es, WHITE, 2, false), s);
    EXPECT_EQ(e.score, s);  // rewritten
    EXPECT_EQ(es->cache_hits, 1u);
    EXPECT_EQ(es->evals, 3u);
    // Special endgames are never stored.
    eval("8/8/8/3k4/8/8/8/Q3K3 w - -", 5);
    EXPECT_NE(es->cache[pos.key & (EVAL_CACHE_SIZE - 1)].key, pos.key);
}

TEST_F(EntryTest, OppositeBishopDamping) {
    setup("4k3/5p2/8/3b4/8/2B2P2/5P2/4K3 w - -");
    EXPECT_EQ(damp_opposite_bishops(pos, 100), 75);
    EXPECT_EQ(damp_opposite_bishops(pos, -101), -76);
    EXPECT_EQ(damp_opposite_bishops(pos, 0), 0);
    setup("4k3/5p2/8/3bn3/8/2B2P2/3N1P2/4K3 w - -");  // knights do not matter
    EXPECT_EQ(damp_opposite_bishops(pos, 100), 75);
    setup("4k3/5p2/8/4b3/8/2B2P2/5P2/4K3 w - -");  // same colour
    EXPECT_EQ(damp_opposite_bishops(pos, 100), 100);
    setup("r3k3/5p2/8/3b4/8/2B2P2/5P2/4K3 w - -");  // a rook on the board
    EXPECT_EQ(damp_opposite_bishops(pos, 100), 100);
    setup("4k3/5p2/8/3bb3/8/2B2P2/5P2/4K3 w - -");  // two bishops against one
    EXPECT_EQ(damp_opposite_bishops(pos, 100), 100);
}

TEST_F(EntryTest, NetworkRequestFallsBackWithOneNote) {
    settings.use_nn = 1;
    OutputCapture out;
    eval_startup_note();
    eval_startup_note();
    EXPECT_EQ(out.text(), "info string no network available, using the hand-crafted evaluation\n");
    EXPECT_EQ(eval(START_FEN), hce(START_FEN));
}
