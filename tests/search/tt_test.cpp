// Transposition table: store and probe, replacement, mate-score adjustment, ageing and the
// plausibility test of stored moves.
#include <gtest/gtest.h>

#include "board/fen.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/attacks.h"
#include "board/notation.h"
#include "search_fixture.h"

namespace {

struct TTTest : ::testing::Test {
    Position pos;
    MoveHistory history;
    void SetUp() override {
        prepare_search_environment(1);
        search_control.hash_age = 0;
        pos.owner = &history;
        set_fen(pos, START_FEN);
    }
    Move uci(const char* text) { return parse_uci_move(pos, text); }
    int probe(int* score, int* depth, Move* move, int* bound) {
        int eval = 0;
        u64 counters[8] = {};
        return tt_probe(pos, score, &eval, depth, move, bound, counters);
    }
};

TEST_F(TTTest, GeometryFollowsTheHashSize) {
    EXPECT_EQ(tt.entries, 65536u);
    EXPECT_EQ(tt.mask, 32767u);
    EXPECT_EQ(tt.half[1] - tt.half[0], 32768);
}

TEST_F(TTTest, StoreThenProbeReturnsTheEntry) {
    const Move m = uci("e2e4");
    tt_store(pos, 1, 7, m, 33, 25, -100, 100);
    int score, depth, bound;
    Move move;
    ASSERT_EQ(probe(&score, &depth, &move, &bound), 1);
    EXPECT_EQ(move, m);
    EXPECT_EQ(score, 25);
    EXPECT_EQ(depth, 7);
    EXPECT_EQ(bound, BOUND_EXACT);
    // Bounds follow the window.
    tt_store(pos, 1, 8, m, 33, -100, -100, 100);
    probe(&score, &depth, &move, &bound);
    EXPECT_EQ(bound, BOUND_UPPER);
    tt_store(pos, 1, 9, m, 33, 150, -100, 100);
    probe(&score, &depth, &move, &bound);
    EXPECT_EQ(bound, BOUND_LOWER);
}

TEST_F(TTTest, MoveZeroIsNeverStored) {
    tt_store(pos, 1, 7, 0, 0, 0, -100, 100);
    int score, depth, bound;
    Move move;
    EXPECT_EQ(probe(&score, &depth, &move, &bound), 0);
}

TEST_F(TTTest, DeeperResultOfTheSamePositionIsKept) {
    const Move m = uci("d2d4");
    tt_store(pos, 1, 10, m, 0, 5, -100, 100);
    tt_store(pos, 1, 7, m, 0, 6, -100, 100);
    int score, depth, bound;
    Move move;
    probe(&score, &depth, &move, &bound);
    EXPECT_EQ(depth, 10);
    tt_store(pos, 1, 8, m, 0, 7, -100, 100);
    probe(&score, &depth, &move, &bound);
    EXPECT_EQ(depth, 8);
    EXPECT_EQ(score, 7);
}

TEST_F(TTTest, FullBucketLosesItsShallowestEntry) {
    // Four other positions with the same bucket: same low key bits, different locks.
    const Move m = uci("g1f3");
    Position others[5];
    const int depths[4] = {9, 4, 4, 12};
    for (int i = 0; i < 4; i++) {
        others[i] = pos;
        others[i].key = pos.key + (u64(i + 1) << 40);
        tt_store(others[i], 1, depths[i], m, 0, 0, -100, 100);
    }
    tt_store(pos, 1, 6, m, 0, 0, -100, 100);
    TTEntry* bucket = tt.half[pos.side] + (u32(pos.key) & tt.mask);
    // The first of the two depth-4 entries was replaced.
    EXPECT_EQ(bucket[1].lock, u32(pos.key >> 32));
    EXPECT_EQ(bucket[2].lock, u32(others[2].key >> 32));
}

TEST_F(TTTest, MateScoresAreStoredRelativeToTheNode) {
    const Move m = uci("e2e4");
    tt_store(pos, 5, 3, m, 0, 9990, -10001, 10001);
    TTEntry* bucket = tt.half[pos.side] + (u32(pos.key) & tt.mask);
    EXPECT_EQ(bucket[0].score, 9995);
    int score, depth, bound;
    Move move;
    probe(&score, &depth, &move, &bound);
    EXPECT_EQ(score_from_tt(score, 5), 9990);
    EXPECT_EQ(score_to_tt(-9499, 5), -9499);
    EXPECT_EQ(score_to_tt(-9500, 5), -9505);
    EXPECT_EQ(score_from_tt(-9505, 5), -9500);
}

TEST_F(TTTest, OldEntriesLoseDepthWhenRead) {
    const Move m = uci("e2e4");
    search_control.hash_age = 3;
    tt_store(pos, 1, 10, m, 0, 0, -100, 100);
    search_control.hash_age = 7;
    int score, depth, bound;
    Move move;
    ASSERT_EQ(probe(&score, &depth, &move, &bound), 1);
    EXPECT_EQ(depth, 10);
    probe(&score, &depth, &move, &bound);
    EXPECT_EQ(depth, 6);
    // Deep ageing saturates at the bottom of the depth byte instead of wrapping.
    tt_store(pos, 1, -120, m, 0, 0, -100, 100);
    search_control.hash_age = 31;
    for (int i = 0; i < 10; i++) probe(&score, &depth, &move, &bound);
    EXPECT_EQ(depth, -128);
}

TEST_F(TTTest, HashfullCountsEntriesOfTheCurrentAge) {
    search_control.hash_age = 5;
    EXPECT_EQ(tt_hashfull_fraction(), 0.0f);
    for (int i = 0; i < 250; i++) tt.block[i].flags = 5;
    EXPECT_FLOAT_EQ(tt_hashfull_fraction(), 0.25f);
    tt_hashfull(6);
    EXPECT_EQ(search_control.hashfull, 0.0f);
    tt_hashfull(7);
    EXPECT_FLOAT_EQ(search_control.hashfull, 0.25f);
}

TEST_F(TTTest, ImplausibleMovesGetTheirCode) {
    EXPECT_EQ(tt_move_code(pos, make_move_code(12, 12)), 1);
    EXPECT_EQ(tt_move_code(pos, make_move_code(20, 28)), 2);    // e3 is empty
    EXPECT_EQ(tt_move_code(pos, make_move_code(52, 44)), 3);    // a black pawn, White to move
    EXPECT_EQ(tt_move_code(pos, make_move_code(0, 8)), 4);      // rook onto its own pawn
    EXPECT_EQ(tt_move_code(pos, make_move_code(12, 28, FLAG_PROMO_QUEEN)), 6);
    EXPECT_EQ(tt_move_code(pos, make_move_code(12, 36)), 7);    // pawn three squares
    EXPECT_EQ(tt_move_code(pos, make_move_code(1, 17)), 8);     // knight b1-b3
    EXPECT_EQ(tt_move_code(pos, make_move_code(2, 20)), 9);     // bishop c1-e3 through d2
    EXPECT_EQ(tt_move_code(pos, make_move_code(0, 16)), 10);    // rook through a2
    EXPECT_EQ(tt_move_code(pos, make_move_code(3, 19)), 11);    // queen d1-d3 through d2
    EXPECT_EQ(tt_move_code(pos, make_move_code(4, 6, FLAG_KING_SIDE)), 12);  // knight and bishop in the way
    EXPECT_EQ(tt_move_code(pos, uci("e2e4")), 0);
    EXPECT_EQ(tt_move_code(pos, uci("g1f3")), 0);
    set_fen(pos, "4k3/8/8/8/8/8/8/4KB1R w K - 0 1");
    EXPECT_EQ(tt_move_code(pos, make_move_code(4, 6, FLAG_KING_SIDE)), 12);  // bishop on the path
    EXPECT_EQ(tt_move_code(pos, make_move_code(4, 20)), 13);                 // king two ranks
    // A pinned piece passes the shape tests and fails the legality test.
    set_fen(pos, "4k3/4r3/8/8/8/8/4N3/4K3 w - - 0 1");
    EXPECT_EQ(tt_move_code(pos, make_move_code(12, 29)), 14);
    // A stored move that fails is reported and not used.
    tt_store(pos, 1, 5, make_move_code(12, 12), 0, 0, -100, 100);
    int score, depth, bound;
    Move move;
    EXPECT_EQ(probe(&score, &depth, &move, &bound), 0);
}

// Every legal move is a plausible hash move, Chess960 castling included: the king may already
// stand on its destination, or land on its own castling rook's square.
TEST_F(TTTest, EveryLegalMoveValidates) {
    const char* fens[] = {
        START_FEN,
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "4k3/8/8/8/8/8/8/5RKR w F - 0 1",        // king on g1: king-side castling leaves it there
        "4k3/8/8/8/8/8/8/4K1R1 w G - 0 1",       // king e1, rook g1: the king lands on the rook
        "1r2k3/8/8/8/8/8/8/1RK5 w B - 0 1",      // king c1 already on its queen-side destination
        "rk5r/8/8/8/8/8/8/RK5R b KQkq - 0 1",    // black to move, rooks on both sides
        "4k3/1P6/8/3pP3/8/8/8/4K3 w - d6 0 1",   // promotions and en passant
    };
    for (const char* fen : fens) {
        set_fen(pos, fen);
        MoveEntry list[MAX_MOVES];
        const int n = gen_all_moves(pos, list);
        int legal = 0;
        for (int i = 0; i < n; i++) {
            if (!is_legal(pos, pos.side, list[i].move)) continue;
            legal++;
            EXPECT_EQ(tt_move_code(pos, list[i].move), 0) << fen << " move " << std::hex << list[i].move;
        }
        EXPECT_GT(legal, 0) << fen;
    }
}

TEST_F(TTTest, NoTableMeansNoHits) {
    search_control.hash_in_use = 0;
    tt_store(pos, 1, 5, uci("e2e4"), 0, 0, -100, 100);
    int score, depth, bound;
    Move move;
    EXPECT_EQ(probe(&score, &depth, &move, &bound), 0);
    search_control.hash_in_use = 1;
}

TEST_F(TTTest, FillPvWalksStoredMoves) {
    const Move first = uci("e2e4");
    tt_store(pos, 1, 5, first, 0, 0, -100, 100);
    Position after = pos;
    MoveHistory h2 = history;
    after.owner = &h2;
    make_move(after, first);
    const Move second = parse_uci_move(after, "e7e5");
    tt_store(after, 2, 4, second, 0, 0, -100, 100);
    Move pv[PV_SIZE + 2] = {};
    tt_fill_pv(pos, 1, pv);
    EXPECT_EQ(pv[1], first);
    EXPECT_EQ(pv[2], second);
    EXPECT_EQ(pv[3], 0);
    char fen[128];
    get_fen(pos, fen, 0);
    EXPECT_STREQ(fen, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
}

}  // namespace
