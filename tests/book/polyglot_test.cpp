// Polyglot keys and moves: the compiled-in table, keys against independently computed values,
// and the decoding of book moves against the generated legal moves.
#include <gtest/gtest.h>

#include <set>

#include "board/attacks.h"
#include "board/bitboard.h"
#include "board/board_test_util.h"
#include "book/book_test_util.h"
#include "book/polyglot.h"

using namespace board_test;
using namespace book_test;

namespace {

int sq(const char* name) { return make_square(name[0] - 'a', name[1] - '1'); }

u16 raw(const char* from, const char* to, int promotion = 0) {
    return u16((promotion << POLYGLOT_PROMOTION_SHIFT) | (sq(from) << 6) | sq(to));
}

// Every legal move must encode to a distinct book move that decodes back to itself.
void expect_round_trip(Position& pos, const std::string& where) {
    std::set<u16> seen;
    for (Move m : all_moves(pos)) {
        if (!is_legal(pos, pos.side, m)) continue;
        const u16 book_move = polyglot_move(pos, m);
        EXPECT_TRUE(seen.insert(book_move).second) << where << ": two moves encode to " << book_move;
        EXPECT_EQ(decode_book_move(pos, book_move), m) << where << ": move " << m;
    }
}

void round_trip_file(const char* name, size_t limit) {
    BOARD_LOAD_PERFT_OR_SKIP(name, lines);
    for (size_t i = 0; i < lines.size() && i < limit; i++) {
        auto b = make_board(lines[i].fen.c_str());
        expect_round_trip(b->pos, lines[i].fen);
    }
}

}  // namespace

TEST(Polyglot, RandomTableIsThePublishedOne) {
    const std::string path = shared_path("polyglot/random64.txt");
    BOOK_SHARED_OR_SKIP(path);
    std::ifstream in(path);
    std::string line;
    int i = 0;
    for (; std::getline(in, line) && i < POLYGLOT_RANDOM_COUNT; i++)
        EXPECT_EQ(POLYGLOT_RANDOM64[i], std::stoull(line, nullptr, 16)) << "index " << i;
    EXPECT_EQ(i, POLYGLOT_RANDOM_COUNT);
}

// The rows include the start position, 1. e4 (whose e3 does not enter the key), pinned
// en-passant captures (whose file does) and every subset of castling rights.
TEST(Polyglot, KeysOfTheReferencePositions) {
    const std::string path = shared_path("polyglot/keys.csv");
    BOOK_SHARED_OR_SKIP(path);
    auto rows = read_csv(path);
    ASSERT_GE(rows.size(), 60u);
    for (auto& row : rows) {
        auto b = make_board(row[0].c_str());
        EXPECT_EQ(polyglot_key(b->pos), std::stoull(row[1], nullptr, 16)) << row[0];
    }
}

TEST(Polyglot, EveryLegalMoveRoundTrips) {
    round_trip_file("standard.epd", 200);
    NotationModes modes(1, 1);
    round_trip_file("chess960.epd", 200);
}

TEST(Polyglot, CastlingOnlyWhenTheKingStandsOnTheOrigin) {
    // King on e1 with both rights: e1h1 and e1a1 are the castlings.
    auto castle = make_board("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    Move m = decode_book_move(castle->pos, raw("e1", "h1"));
    EXPECT_EQ(m, make_move_code(sq("e1"), sq("g1"), FLAG_KING_SIDE));
    EXPECT_EQ(decode_book_move(castle->pos, raw("e1", "a1")), make_move_code(sq("e1"), sq("c1"), FLAG_QUEEN_SIDE));
    castle->pos.side = BLACK;
    EXPECT_EQ(decode_book_move(castle->pos, raw("e8", "h8")), make_move_code(sq("e8"), sq("g8"), FLAG_KING_SIDE));
    EXPECT_EQ(decode_book_move(castle->pos, raw("e8", "a8")), make_move_code(sq("e8"), sq("c8"), FLAG_QUEEN_SIDE));
    // The king's two-square step is not how books write castling.
    castle->pos.side = WHITE;
    EXPECT_EQ(decode_book_move(castle->pos, raw("e1", "g1")), MOVE_NONE);

    // A rook or queen moving along the back rank stays an ordinary move.
    auto rook = make_board("4k3/8/8/8/8/8/6K1/4R3 w - - 0 1");
    EXPECT_EQ(decode_book_move(rook->pos, raw("e1", "h1")), make_move_code(sq("e1"), sq("h1")));
    auto queen = make_board("4q3/8/8/k7/8/8/8/7K b - - 0 1");
    EXPECT_EQ(decode_book_move(queen->pos, raw("e8", "a8")), make_move_code(sq("e8"), sq("a8")));

    // Chess960: the king takes its own rook on g1.
    NotationModes modes(1, 1);
    auto c960 = make_board("1r2k1r1/pppppppp/8/8/8/8/PPPPPPPP/1R2K1R1 w KQkq - 0 1");
    EXPECT_EQ(decode_book_move(c960->pos, raw("e1", "g1")), make_move_code(sq("e1"), sq("g1"), FLAG_KING_SIDE));
}

TEST(Polyglot, PromotionsAndMovesThatNoPieceCanMake) {
    auto b = make_board("4k3/8/8/8/8/8/1p6/4K3 b - - 0 1");
    for (int piece = 1; piece <= 4; piece++) {
        Move m = decode_book_move(b->pos, raw("b2", "b1", piece));
        ASSERT_NE(m, MOVE_NONE) << piece;
        EXPECT_EQ(promotion_type(m), KNIGHT + piece - 1);
    }
    EXPECT_EQ(decode_book_move(b->pos, raw("b2", "b1", 5)), MOVE_NONE);
    // Bit 15 is not part of the move.
    EXPECT_EQ(decode_book_move(b->pos, u16(raw("b2", "b1", 4) | 0x8000)), decode_book_move(b->pos, raw("b2", "b1", 4)));
    // From an empty square, with the other side's piece, into check, onto its own piece.
    auto start = make_board(START_FEN);
    EXPECT_EQ(decode_book_move(start->pos, raw("e4", "e5")), MOVE_NONE);
    EXPECT_EQ(decode_book_move(start->pos, raw("e7", "e5")), MOVE_NONE);
    EXPECT_EQ(decode_book_move(start->pos, raw("d1", "d2")), MOVE_NONE);
    EXPECT_EQ(decode_book_move(b->pos, raw("e8", "d7")), make_move_code(sq("e8"), sq("d7")));
    auto pinned = make_board("4k3/4r3/8/8/8/8/4B3/4K3 w - - 0 1");
    EXPECT_EQ(decode_book_move(pinned->pos, raw("e2", "d3")), MOVE_NONE);
}
