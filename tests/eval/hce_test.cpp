#include <cmath>

#include "eval_test_util.h"

using HceTest = EvalFixture;

namespace {

// The tapered score before any scale factor, from the accumulators the evaluation left behind.
int raw_from_scratch(const EvalScratch& sc) {
    i32 d = i32(u32(sc.acc[WHITE]) - u32(sc.acc[BLACK]));
    int mg = i16(d & 0xFFFF), eg = d >> 16;
    return int((1.0 - sc.phase) * eg + double(float(mg * sc.phase)));
}

ScorePair scaled(HceScalar p, float f) { return make_score(int(param(p).mg * f), int(param(p).eg * f)); }

}  // namespace

TEST_F(HceTest, StartPositionIsTheSideToMoveBonus) {
    EXPECT_EQ(hce(START_FEN), 28);
    EXPECT_EQ(es->scratch.phase, 1.0f);
    EXPECT_EQ(hce("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -"), 28);
}

TEST_F(HceTest, PhaseFollowsMaterial) {
    hce("8/8/4k3/8/8/4P3/4K3/8 w - -");
    EXPECT_FLOAT_EQ(es->scratch.phase, 0.017f);
    hce("r3k3/8/8/8/8/8/8/R3K3 w - -");
    EXPECT_FLOAT_EQ(es->scratch.phase, 0.17f);
}

TEST_F(HceTest, TraceGroupsAddUpToTheAccumulators) {
    es->scratch.recording = 1;
    hce("r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP2BPPP/R2QKB1R w KQ - 0 8");
    for (int c = 0; c < 2; c++) {
        u32 sum = 0;
        for (int g = 0; g < TG_COUNT; g++) sum += u32(es->scratch.deltas[c][g]);
        EXPECT_EQ(i32(sum), es->scratch.acc[c]);
    }
    // Only the side to move gets the special group.
    EXPECT_EQ(es->scratch.deltas[WHITE][TG_SPECIAL], param(P_STM_BONUS).score);
    EXPECT_EQ(es->scratch.deltas[BLACK][TG_SPECIAL], 0);
}

TEST_F(HceTest, PawnHashIsReadOnlyFromLevelTwo) {
    const char* fen = "r1bqkb1r/pp3ppp/2n1pn2/2pp4/3P4/2PBPN2/PP3PPP/RNBQK2R w KQkq - 0 6";
    es->scratch.level = 1;
    int first = hce(fen);
    int second = hce(fen);
    EXPECT_EQ(es->pawn_probes, 2u);
    EXPECT_EQ(es->pawn_hits, 0u);
    es->scratch.level = 2;
    EXPECT_EQ(hce(fen), first);
    EXPECT_EQ(second, first);
    EXPECT_EQ(es->pawn_hits, 1u);
    // A king on the other wing changes the pawn frame, so the entry must not be reused.
    es->scratch.level = 5;
    int other_wing = hce("r1bqkb1r/pp3ppp/2n1pn2/2pp4/3P4/2PBPN2/PP3PPP/RNBK3R w kq - 0 6");
    EXPECT_EQ(es->pawn_hits, 1u);
    EXPECT_EQ(hce("r1bqkb1r/pp3ppp/2n1pn2/2pp4/3P4/2PBPN2/PP3PPP/RNBK3R w kq - 0 6"), other_wing);
    EXPECT_EQ(es->pawn_hits, 2u);
}

TEST_F(HceTest, WrongRookPawnEndingScalesDown) {
    // Dark-squared bishop, a-pawn queening on light a8, defending king on b8.
    int scaled_score = hce("1k6/8/8/8/8/P7/8/2B1K3 w - -");
    int raw = raw_from_scratch(es->scratch);
    ASSERT_GT(raw, 0);
    EXPECT_EQ(scaled_score, int(float(raw) * 0.05f));
    // With the right bishop the score is not cut.
    int full = hce("1k6/8/8/8/8/P7/8/1B2K3 w - -");
    EXPECT_EQ(full, raw_from_scratch(es->scratch));
    // Nor when the defending king is too far from the corner.
    int far = hce("8/8/8/8/5k2/P7/8/2B1K3 w - -");
    EXPECT_EQ(far, raw_from_scratch(es->scratch));
}

TEST_F(HceTest, OppositeBishopsHalveTheWinningSide) {
    int s = hce("4k3/5p2/8/3b4/8/2B2P2/5P2/4K3 w - -");
    int raw = raw_from_scratch(es->scratch);
    ASSERT_GT(raw, 0);
    EXPECT_EQ(s, int(float(raw) * 0.5f));
    // Bishops of the same colour: no scaling.
    s = hce("4k3/5p2/8/4b3/8/2B2P2/5P2/4K3 w - -");
    EXPECT_EQ(s, raw_from_scratch(es->scratch));
}

TEST_F(HceTest, RearPawnOfADoubledPasserEarnsNothing) {
    es->scratch.recording = 1;
    hce("4k3/8/8/1P6/8/8/1P6/4K3 w - -");
    ScorePair doubled = es->scratch.deltas[WHITE][TG_PASSED];
    hce("4k3/8/8/1P6/8/8/8/4K3 w - -");
    EXPECT_EQ(doubled, es->scratch.deltas[WHITE][TG_PASSED]);
    EXPECT_NE(doubled, 0);
}

TEST_F(HceTest, PawnOnSecondRankIsJudgedByItsDoubleStep) {
    es->scratch.recording = 1;
    // Bishop on a5 covers b4, the double-step square: the push loses the pawn, so only the base value.
    hce("4k3/8/8/b7/8/8/1P6/5K2 w - -");
    ScorePair base = es->scratch.deltas[WHITE][TG_PASSED];
    EXPECT_EQ(es->scratch.free_passers, 0u);
    // Bishop on a7 leaves b4 safe but watches b6 and b8: mobile, not free.
    hce("4k3/b7/8/8/8/8/1P6/5K2 w - -");
    ScorePair mobile = es->scratch.deltas[WHITE][TG_PASSED];
    EXPECT_EQ(es->scratch.free_passers, 0u);
    EXPECT_EQ(mobile - base, scaled(P_PPAWN_MOBILE, 0.09f) - scaled(P_PPAWN_BASE, 0.09f));
    // Nothing in the way: free.
    hce("4k3/8/8/8/8/8/1P6/5K2 w - -");
    EXPECT_EQ(es->scratch.free_passers, square_bit(9));
}

TEST_F(HceTest, PinsToKingAndQueen) {
    // Knight e2 pinned by the bishop on b5 against the king on f1, knight d2 by the bishop on b4.
    setup("4k3/8/8/1b6/8/8/4N3/5K2 w - -");
    EXPECT_EQ(find_pinned(pos, WHITE), square_bit(12));
    setup("4k3/8/8/8/1b6/8/3N4/4K3 w - -");
    EXPECT_EQ(find_pinned(pos, WHITE), square_bit(11));
    // Two pieces on the line: no pin. An enemy piece on the line: no pin of ours.
    setup("4k3/8/8/1b6/8/3N4/4N3/5K2 w - -");
    EXPECT_EQ(find_pinned(pos, WHITE), 0u);
    // A bishop tied to the queen by a rook; nothing behind the queen counts, nor an enemy queen.
    setup("3rk3/8/8/8/8/3Q4/8/3RK3 w - -");
    EXPECT_EQ(find_pinned(pos, WHITE), 0u);
    setup("3rk3/8/8/8/8/3B4/8/3QK3 w - -");
    EXPECT_EQ(find_pinned(pos, WHITE), square_bit(19));
    setup("3qk3/8/8/8/8/3B4/8/3QK3 w - -");
    EXPECT_EQ(find_pinned(pos, WHITE), 0u);
    // Black's side of the same pattern.
    setup("4k3/4r3/8/8/8/8/8/4R1K1 b - -");
    EXPECT_EQ(find_pinned(pos, BLACK), square_bit(52));
}

TEST_F(HceTest, HangingPiecesAreMarked) {
    // The black knight on d5 is attacked by the e4 pawn.
    hce("4k3/8/8/3n4/4P3/8/8/4K3 b - -");
    EXPECT_TRUE(es->scratch.hung & square_bit(35));
    // A pawn defended by a pawn is neither hanging nor attacked.
    hce("4k3/8/8/3n4/8/4P3/5P2/4K3 w - -");
    EXPECT_FALSE(es->scratch.hung & square_bit(20));
}

TEST_F(HceTest, MalformedPositionsDoNotCrash) {
    EXPECT_EQ(hce("8/8/8/8/8/8/8/8 w - -"), 0);
    hce("P6k/8/8/8/8/8/8/K6p w - -");  // pawns on the last ranks
    hce("QQQQQQQQ/QQQQQQQQ/8/8/8/8/qqqqqqqq/k6K w - -");
    SUCCEED();
}
