// Static exchange evaluation.
#include <gtest/gtest.h>

#include "board/see.h"
#include "board_test_util.h"

using namespace board_test;

namespace {
int sq(const char* name) { return make_square(name[0] - 'a', name[1] - '1'); }
Move mv(const char* from, const char* to) { return make_move_code(sq(from), sq(to)); }
}  // namespace

TEST(See, SimpleExchanges) {
    auto free_knight = make_board("4k3/8/8/3n4/8/8/8/3RK3 w - - 0 1");
    EXPECT_EQ(see_move(free_knight->pos, WHITE, sq("d1"), sq("d5")), 350);
    EXPECT_TRUE(capture_ok(free_knight->pos, mv("d1", "d5")));

    auto guarded_pawn = make_board("4k3/8/2p5/3p4/8/8/8/3QK3 w - - 0 1");
    EXPECT_EQ(see_move(guarded_pawn->pos, WHITE, sq("d1"), sq("d5")), 100 - 1060);
    EXPECT_FALSE(capture_ok(guarded_pawn->pos, mv("d1", "d5")));

    auto knight_trade = make_board("4k3/8/8/3n4/8/2N2b2/8/4K3 w - - 0 1");
    EXPECT_EQ(see_move(knight_trade->pos, WHITE, sq("c3"), sq("d5")), 0);
    EXPECT_TRUE(capture_ok(knight_trade->pos, mv("c3", "d5")));
}

TEST(See, XRaysCountBehindTheFrontAttacker) {
    // Doubled white rooks against a black rook defended once by the rook behind it.
    auto doubled = make_board("3r3k/3r4/8/8/8/8/3R4/3RK3 w - - 0 1");
    // Rxd7 Rxd7 Rxd7: white wins a rook.
    EXPECT_EQ(see_move(doubled->pos, WHITE, sq("d2"), sq("d7")), 550);
    // Without the rear rook the exchange is even.
    auto single = make_board("3r3k/3r4/8/8/8/8/3R4/4K3 w - - 0 1");
    EXPECT_EQ(see_move(single->pos, WHITE, sq("d2"), sq("d7")), 0);
    // The king counts as the last defender.
    auto king_defends = make_board("3rk3/3r4/8/8/8/8/3R4/3RK3 w - - 0 1");
    EXPECT_EQ(see_move(king_defends->pos, WHITE, sq("d2"), sq("d7")), 0);
    // A queen behind a bishop supports the capture on the diagonal.
    auto battery = make_board("4k3/8/8/4p3/3p4/8/1B6/Q3K3 w - - 0 1");
    EXPECT_EQ(see_move(battery->pos, WHITE, sq("b2"), sq("d4")), 100 - 350 + 100);
}

TEST(See, KingCapturesAndThreats) {
    auto defended = make_board("4k3/8/8/8/8/2p5/3p4/4K3 w - - 0 1");
    EXPECT_EQ(see_move(defended->pos, WHITE, sq("e1"), sq("d2")), 100 - 9999);
    EXPECT_FALSE(capture_ok(defended->pos, mv("e1", "d2")));
    auto lone = make_board("4k3/8/8/8/8/8/3p4/4K3 w - - 0 1");
    EXPECT_EQ(see_move(lone->pos, WHITE, sq("e1"), sq("d2")), 100);
    // Origin 64: what the side wins by taking the piece, never below zero.
    auto hanging = make_board("4k3/8/8/3b4/8/8/8/3RK3 w - - 0 1");
    EXPECT_EQ(see_move(hanging->pos, WHITE, NO_SQUARE, sq("d5")), 350);
    auto guarded = make_board("4k3/8/4p3/3n4/8/8/8/3QK3 w - - 0 1");
    EXPECT_EQ(see_move(guarded->pos, WHITE, NO_SQUARE, sq("d5")), 0);
    // Capturing a king ends every exchange.
    auto king = make_board("4k3/8/8/8/8/8/8/4QK2 w - - 0 1");
    EXPECT_EQ(see_gain(king->pos, WHITE, sq("e8"), KING, occupancy(king->pos)), 9999);
    EXPECT_EQ(see_gain(king->pos, BLACK, sq("e1"), QUEEN, occupancy(king->pos)), 0);
    // En passant passes the quick test.
    auto ep = make_board("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
    EXPECT_TRUE(capture_ok(ep->pos, mv("e5", "d6")));
}
