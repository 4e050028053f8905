// Attack tables, sliding attacks and position keys.
#include <gtest/gtest.h>

#include <random>

#include "board_test_util.h"

using namespace board_test;

namespace {

int sq(const char* name) { return make_square(name[0] - 'a', name[1] - '1'); }
u64 bits(std::initializer_list<const char*> names) {
    u64 b = 0;
    for (const char* n : names) b |= square_bit(sq(n));
    return b;
}

// Slider attacks by stepping square by square.
u64 walk_attacks(int s, u64 occ, bool diagonal) {
    static const int orth[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    static const int diag[4][2] = {{1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
    u64 result = 0;
    for (const auto& d : diagonal ? diag : orth) {
        int f = square_file(s) + d[0], r = square_rank(s) + d[1];
        while (f >= 0 && f < 8 && r >= 0 && r < 8) {
            result |= square_bit(make_square(f, r));
            if (occ & square_bit(make_square(f, r))) break;
            f += d[0];
            r += d[1];
        }
    }
    return result;
}

}  // namespace

TEST(Tables, LeaperAndPawnAttacks) {
    init_board();
    EXPECT_EQ(PawnAttacks[WHITE][sq("h4")], bits({"g5"}));
    EXPECT_EQ(PawnAttacks[WHITE][sq("e4")], bits({"d5", "f5"}));
    EXPECT_EQ(PawnAttacks[BLACK][sq("a2")], bits({"b1"}));
    EXPECT_EQ(PawnAttacks[WHITE][sq("c8")], 0u);
    EXPECT_EQ(PawnAttacks[BLACK][sq("c1")], 0u);
    EXPECT_EQ(KnightAttacks[sq("a1")], bits({"b3", "c2"}));
    EXPECT_EQ(popcount(KnightAttacks[sq("d4")]), 8);
    EXPECT_EQ(KingAttacks[sq("h8")], bits({"g8", "g7", "h7"}));
    EXPECT_EQ(popcount(KingAttacks[sq("e4")]), 8);
}

TEST(Tables, RaysAndBetween) {
    init_board();
    EXPECT_EQ(Ray[DIR_NE][sq("f6")], bits({"g7", "h8"}));
    EXPECT_EQ(Ray[DIR_W][sq("c3")], bits({"a3", "b3"}));
    EXPECT_EQ(Ray[DIR_S][sq("b2")], bits({"b1"}));
    EXPECT_EQ(Ray[DIR_NW][sq("h8")], 0u);
    EXPECT_EQ(Between[sq("a1")][sq("b3")], 0u);
    EXPECT_EQ(Between[sq("d4")][sq("d4")], 0u);
    EXPECT_EQ(Between[sq("a1")][sq("h8")], bits({"b2", "c3", "d4", "e5", "f6", "g7"}));
    EXPECT_EQ(Between[sq("h8")][sq("a1")], Between[sq("a1")][sq("h8")]);
    EXPECT_EQ(Between[sq("e1")][sq("e8")], bits({"e2", "e3", "e4", "e5", "e6", "e7"}));
    EXPECT_EQ(Between[sq("e1")][sq("f1")], 0u);
}

TEST(Tables, SlidingAttacksMatchAStepByStepWalk) {
    init_board();
    EXPECT_EQ(bishop_attacks(sq("a1"), 0), Between[sq("a1")][sq("h8")] | bits({"h8"}));
    u64 r = rook_attacks(sq("d4"), bits({"d6", "b4"}));
    EXPECT_TRUE(r & bits({"d5"}));
    EXPECT_TRUE(r & bits({"d6"}));
    EXPECT_TRUE(r & bits({"b4"}));
    EXPECT_TRUE(r & bits({"c4"}));
    EXPECT_FALSE(r & bits({"d7"}));
    EXPECT_FALSE(r & bits({"a4"}));
    std::mt19937_64 rng(12345);
    for (int i = 0; i < 2000; i++) {
        u64 occ = rng() & rng();
        int s = int(rng() % 64);
        ASSERT_EQ(bishop_attacks(s, occ), walk_attacks(s, occ, true)) << s << " " << occ;
        ASSERT_EQ(rook_attacks(s, occ), walk_attacks(s, occ, false)) << s << " " << occ;
        ASSERT_EQ(queen_attacks(s, occ), walk_attacks(s, occ, true) | walk_attacks(s, occ, false));
    }
}

TEST(Tables, KeysAreDenseDistinctAndStable) {
    init_board();
    u64 copy[16][64];
    memcpy(copy, Keys, sizeof copy);
    init_keys();  // a second call changes nothing
    EXPECT_EQ(memcmp(copy, Keys, sizeof copy), 0);
    const u64* k = &Keys[0][0];
    for (int i = 0; i < 1024; i++) {
        ASSERT_GE(popcount(k[i]), 24) << i;
        for (int j = 0; j < i; j++) ASSERT_NE(k[i], k[j]);
    }
    EXPECT_NE(Keys[0][0], 0u);
    // The key of a position without rights still includes the castling component for 0.
    auto b = make_board("4k3/8/8/8/8/8/8/4K3 w - -");
    EXPECT_EQ(b->pos.key, (Keys[make_piece(WHITE, KING)][sq("e1")] ^ Keys[make_piece(BLACK, KING)][sq("e8")] ^
                           Keys[0][0]) & ~u64(1));
    // Side to move lives in bit 0 alone.
    auto w = make_board(START_FEN);
    auto bl = make_board("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -");
    EXPECT_EQ(w->pos.key ^ bl->pos.key, 1u);
    EXPECT_EQ(w->pos.key & 1, 0u);
    EXPECT_EQ(w->pos.pawn_key, bl->pos.pawn_key);
    EXPECT_EQ(w->pos.pawn_key, make_board("4k3/pppppppp/8/8/8/8/PPPPPPPP/4K3 w - -")->pos.pawn_key);
}
