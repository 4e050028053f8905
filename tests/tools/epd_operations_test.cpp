// The parts of EPD lines that test suites use: position fields, operands with spaces and quotes,
// move lists and c0 point tables.
#include <gtest/gtest.h>

#include "board/board_test_util.h"
#include "board/notation.h"
#include "tools/epd_operations.h"

using namespace board_test;

namespace {

std::string operation(const char* line, const char* opcode) {
    char out[256];
    return epd_operation(line, opcode, out, sizeof out) ? std::string(out) : std::string("<none>");
}

Move san(Position& pos, const char* text) {
    char buf[32];
    snprintf(buf, sizeof buf, "%s", text);
    Move m = MOVE_NONE;
    EXPECT_EQ(parse_move(pos, buf, &m), 1) << text;
    return m;
}

const char* const WAC_TWO_MOVES = "r1bqk2r/ppp1nppp/4p3/n5N1/2BPp3/P1P5/2P2PPP/R1BQK2R w KQkq - bm Ba2 Nxf7; id \"WAC.022\";";
const char* const STS_001 =
    "1kr5/3n4/q3p2p/p2n2p1/PppB1P2/5BP1/1P2Q2P/3R2K1 w - - bm f5; id \"STS(v1.0) Undermine.001\"; "
    "c0 \"f5=10, Be5+=2, Bf2=3, Bg4=2\"; c7 \"f5 Be5+ Bf2 Bg4\";";

}  // namespace

TEST(EpdOperations, FieldsAndOperands) {
    char fen[128];
    EXPECT_EQ(epd_position_fields(STS_001, fen, sizeof fen), 4);
    EXPECT_STREQ(fen, "1kr5/3n4/q3p2p/p2n2p1/PppB1P2/5BP1/1P2Q2P/3R2K1 w - -");
    EXPECT_EQ(epd_position_fields("8/8/8/8/8/8/8/8 w", fen, sizeof fen), 2);

    // Spaces inside an operand are kept; quotes stay; ';' inside quotes does not end it.
    EXPECT_EQ(operation(WAC_TWO_MOVES, "bm"), "Ba2 Nxf7");
    EXPECT_EQ(operation(STS_001, "id"), "\"STS(v1.0) Undermine.001\"");
    EXPECT_EQ(operation(STS_001, "c0"), "\"f5=10, Be5+=2, Bf2=3, Bg4=2\"");
    EXPECT_EQ(operation("8/8/8/8/8/8/8/K6k w - - c0 \"a; b\"; bm Kb1;", "c0"), "\"a; b\"");
    // Move counters after the position, an opcode that only begins like another, no terminator.
    EXPECT_EQ(operation("8/8/8/8/8/8/8/K6k w - - 0 1 bmx Kb2; bm Kb1;", "bm"), "Kb1");
    EXPECT_EQ(operation("8/8/8/8/8/8/8/K6k w - - am Kb2; bm Kb1", "bm"), "<none>");
}

TEST(EpdOperations, MoveListsSeeEveryMove) {
    auto b = make_board(WAC_TWO_MOVES);
    bool contains = false;
    EXPECT_EQ(epd_move_list(b->pos, "Ba2 Nxf7", san(b->pos, "Nxf7"), &contains), 2);
    EXPECT_TRUE(contains);
    EXPECT_EQ(epd_move_list(b->pos, "Ba2, \"Nxf7+\"", san(b->pos, "Ba2"), &contains), 2);
    EXPECT_TRUE(contains);
    // Unreadable tokens are not moves; a listed move twice is still one move found.
    EXPECT_EQ(epd_move_list(b->pos, "Ba2 Ba2 Zz9 e9", san(b->pos, "Ba2"), &contains), 2);
    EXPECT_TRUE(contains);
}

TEST(EpdOperations, PointTablesCountOnlyMovesWithPoints) {
    auto b = make_board(STS_001);
    char c0[256];
    ASSERT_TRUE(epd_operation(STS_001, "c0", c0, sizeof c0));
    int possible = -1;
    EXPECT_EQ(epd_points(b->pos, c0, san(b->pos, "Be5"), &possible), 2);
    EXPECT_EQ(possible, 10);
    EXPECT_EQ(epd_points(b->pos, c0, san(b->pos, "Qe1"), &possible), 0);
    EXPECT_EQ(possible, 10);
    // Free text with '=' is no table: a link, a sentence, a move with a non-number.
    EXPECT_EQ(epd_points(b->pos, "\"see http://example.org/?id=5 and a=b, f5=ten\"", san(b->pos, "f5"), &possible), 0);
    EXPECT_EQ(possible, 0);
    // An illegal move's points do not count towards what is possible.
    EXPECT_EQ(epd_points(b->pos, "\"Kh8=50, f5=4\"", san(b->pos, "f5"), &possible), 4);
    EXPECT_EQ(possible, 4);
    // Promotions keep their own '='; the whole-square form names a piece's origin.
    auto promo = make_board("8/4P3/8/8/8/8/8/k6K w - -");
    EXPECT_EQ(epd_points(promo->pos, "e8=Q=10, e8=N=3", san(promo->pos, "e8=N"), &possible), 3);
    EXPECT_EQ(possible, 10);
    auto bishops = make_board("2rq2k1/1p3pb1/1n4pp/pP2p3/P1b1P3/2N4P/2B1NPP1/R1Q3K1 b - -");
    EXPECT_EQ(epd_points(bishops->pos, "\"Bg7f8=10, Bg7f6=8\"", san(bishops->pos, "Bf6"), &possible), 8);
    EXPECT_EQ(possible, 10);
}
