// FEN reading and writing, castling set-up from the castling field, EPD splitting.
#include <gtest/gtest.h>

#include "board/makemove.h"
#include "board_test_util.h"

using namespace board_test;

namespace {

int sq(const char* name) { return make_square(name[0] - 'a', name[1] - '1'); }
u64 bits(std::initializer_list<const char*> names) {
    u64 b = 0;
    for (const char* n : names) b |= square_bit(sq(n));
    return b;
}

std::string fen_of(const Position& pos, int counters) {
    char buf[128];
    get_fen(pos, buf, counters);
    return buf;
}

}  // namespace

TEST(Fen, RoundTripsAndCounters) {
    for (const char* fen : {START_FEN, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
                            "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -", "4k3/8/8/3pP3/8/8/8/4K3 w - d6",
                            "r3k2r/8/8/8/8/8/8/R3K2R b Kq -", "8/8/8/8/8/8/8/8 w - -"}) {
        auto b = make_board(fen);
        EXPECT_EQ(fen_of(b->pos, 0), fen);
        auto again = make_board(fen_of(b->pos, 0).c_str());
        EXPECT_EQ(memcmp(&again->pos.board, &b->pos.board, sizeof b->pos.board), 0);
        EXPECT_EQ(again->pos.key, b->pos.key);
    }
    auto b = make_board(START_FEN);
    EXPECT_EQ(fen_of(b->pos, 1), std::string(START_FEN) + " 0 0");
    // The last counter is the number of moves made since the position was set up.
    auto c = make_board("4k3/8/8/8/8/8/8/4K1N1 w - - 12 40");
    make_move(c->pos, make_move_code(sq("g1"), sq("f3")));
    EXPECT_EQ(fen_of(c->pos, 1), "4k3/8/8/8/8/5N2/8/4K3 b - - 13 1");
}

TEST(Fen, FieldsAndResets) {
    auto b = make_board("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3");
    EXPECT_EQ(b->pos.side, BLACK);
    EXPECT_EQ(b->pos.ep_square, sq("e3"));
    EXPECT_EQ(b->pos.rule50, 0);
    EXPECT_EQ(b->pos.king_sq[WHITE], sq("e1"));
    EXPECT_EQ(b->pos.king_sq[BLACK], sq("e8"));
    EXPECT_EQ(material_count(b->pos.material[WHITE], PAWN), 8);
    EXPECT_EQ(material_count(b->pos.material[WHITE], KNIGHT), 2);
    EXPECT_EQ(material_count(b->pos.material[BLACK], QUEEN), 1);
    EXPECT_EQ(b->pos.board[64], 0);
    EXPECT_EQ(invariant_error(b->pos), "");

    // Setting a new position clears the history and the previous placement.
    make_move(b->pos, make_move_code(sq("g8"), sq("f6")));
    set_fen(b->pos, "4k3/8/8/8/8/8/8/4K3 w - - 33 70");
    EXPECT_EQ(b->hist.count, 0);
    EXPECT_EQ(b->hist.ply, 1);
    EXPECT_EQ(b->hist.last_move, MOVE_NONE);
    EXPECT_EQ(b->hist.entries[0].move, MOVE_NONE);
    EXPECT_EQ(b->pos.rule50, 33);
    EXPECT_EQ(b->pos.touched, 0u);
    EXPECT_EQ(popcount(occupancy(b->pos)), 2);
    EXPECT_EQ(invariant_error(b->pos), "");

    // A FEN without a king leaves its square at 64; missing fields keep the reset values.
    auto kingless = make_board("8/8/8/8/8/8/8/4K3");
    EXPECT_EQ(kingless->pos.king_sq[BLACK], NO_SQUARE);
    EXPECT_EQ(kingless->pos.castling, 0);
    EXPECT_EQ(kingless->pos.ep_square, NO_SQUARE);
    // Stray characters and squares beyond the board are skipped.
    auto junk = make_board("4k3/8/8/8/8/8/8/4K3PPP x? XYZ z9 q");
    EXPECT_EQ(popcount(occupancy(junk->pos)), 2);
    EXPECT_EQ(junk->pos.ep_square, NO_SQUARE);
    EXPECT_EQ(junk->pos.rule50, 0);
}

TEST(Fen, StandardCastlingSetUp) {
    auto b = make_board(START_FEN);
    EXPECT_EQ(b->pos.castling, 15);
    const int rooks[4] = {sq("h1"), sq("a1"), sq("h8"), sq("a8")};
    const u64 paths[4] = {bits({"f1", "g1"}), bits({"b1", "c1", "d1"}), bits({"f8", "g8"}), bits({"b8", "c8", "d8"})};
    const u64 spans[4] = {bits({"e1", "h1"}), bits({"e1", "a1"}), bits({"e8", "h8"}), bits({"e8", "a8"})};
    for (int c = 0; c < 4; c++) {
        EXPECT_EQ(b->pos.castle_rook[c], rooks[c]) << c;
        EXPECT_EQ(b->pos.castle_path[c], paths[c]) << c;
        EXPECT_EQ(b->pos.castle_span[c], spans[c]) << c;
    }
    // Shredder letters name the same rooks.
    auto shredder = make_board("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w HAha -");
    EXPECT_EQ(memcmp(shredder->pos.castle_rook, b->pos.castle_rook, 4), 0);
    EXPECT_EQ(memcmp(shredder->pos.castle_path, b->pos.castle_path, sizeof b->pos.castle_path), 0);
    EXPECT_EQ(shredder->pos.key, b->pos.key);
    // Kings on f1/f8 with corner rooks: the letters give what KQkq gives.
    auto f_kings = make_board("r4k1r/8/8/8/8/8/8/R4K1R w HAha -");
    auto f_kings_std = make_board("r4k1r/8/8/8/8/8/8/R4K1R w KQkq -");
    EXPECT_EQ(f_kings->pos.castling, 15);
    EXPECT_EQ(memcmp(f_kings->pos.castle_rook, f_kings_std->pos.castle_rook, 4), 0);
    EXPECT_EQ(memcmp(f_kings->pos.castle_path, f_kings_std->pos.castle_path, sizeof f_kings->pos.castle_path), 0);
    EXPECT_EQ(f_kings->pos.castle_path[1], bits({"b1", "c1", "d1", "e1"}));
    // Rights whose rook or king is not at home are dropped.
    auto missing = make_board("4k3/8/8/8/8/8/8/4K3 w KQkq -");
    EXPECT_EQ(missing->pos.castling, 0);
    EXPECT_EQ(missing->pos.castle_rook[0], NO_SQUARE);
    auto king_up = make_board("r3k2r/8/8/8/8/8/4K3/R6R w KQkq -");
    EXPECT_EQ(king_up->pos.castling, 4 | 8);
}

TEST(Fen, TwoRooksOnOneSide) {
    // K names the outermost rook, a file letter the rook on that file.
    auto outer = make_board("4k3/8/8/8/8/8/8/4KR1R w K -");
    EXPECT_EQ(outer->pos.castling, 1);
    EXPECT_EQ(outer->pos.castle_rook[0], sq("h1"));
    EXPECT_EQ(outer->pos.castle_path[0], bits({"f1", "g1"}));
    auto by_letter = make_board("4k3/8/8/8/8/8/8/4KR1R w F -");
    EXPECT_EQ(by_letter->pos.castle_rook[0], sq("f1"));
    EXPECT_EQ(by_letter->pos.castle_path[0], bits({"g1"}));
    auto h_letter = make_board("4k3/8/8/8/8/8/8/4KR1R w H -");
    EXPECT_EQ(h_letter->pos.castle_rook[0], sq("h1"));
    auto queen_side = make_board("4k3/8/8/8/8/8/8/RR2K3 w Q -");
    EXPECT_EQ(queen_side->pos.castle_rook[1], sq("a1"));
    EXPECT_EQ(queen_side->pos.castle_path[1], bits({"b1", "c1", "d1"}));
    auto black = make_board("r1r1k3/8/8/8/8/8/8/4K3 b c -");
    EXPECT_EQ(black->pos.castling, 8);
    EXPECT_EQ(black->pos.castle_rook[3], sq("c8"));
    EXPECT_EQ(black->pos.castle_path[3], bits({"d8"}));
    // A letter on a file without a rook falls back to the side's only rook, never to one of two.
    auto fallback = make_board("4k3/8/8/8/8/8/8/4K2R w G -");
    EXPECT_EQ(fallback->pos.castle_rook[0], sq("h1"));
    auto no_fallback = make_board("4k3/8/8/8/8/8/8/4KR1R w G -");
    EXPECT_EQ(no_fallback->pos.castling, 0);
    // Written back, an inner castling rook keeps its file letter so that reading restores it.
    EXPECT_EQ(fen_of(by_letter->pos, 0), "4k3/8/8/8/8/8/8/4KR1R w F -");
    EXPECT_EQ(fen_of(h_letter->pos, 0), "4k3/8/8/8/8/8/8/4KR1R w K -");
    EXPECT_EQ(fen_of(black->pos, 0), "r1r1k3/8/8/8/8/8/8/4K3 b c -");
}

TEST(Fen, Chess960CastlingPaths) {
    // King b1, rook a1 behind it: the rook passes the king's square.
    auto b = make_board("1k6/8/8/8/8/8/8/RK6 w A -");
    EXPECT_EQ(b->pos.castle_rook[1], sq("a1"));
    EXPECT_EQ(b->pos.castle_path[1], bits({"c1", "d1"}));
    // King already on g1.
    auto g = make_board("6k1/8/8/8/8/8/8/6KR w H -");
    EXPECT_EQ(g->pos.castle_path[0], bits({"f1"}));
    // X-FEN: K with king and rook side by side.
    auto adjacent = make_board("4k3/8/8/8/8/8/8/3KR3 w K -");
    EXPECT_EQ(adjacent->pos.castle_rook[0], sq("e1"));
    EXPECT_EQ(adjacent->pos.castle_path[0], bits({"f1", "g1"}));
}

TEST(Fen, EpdSplitting) {
    EpdFields f;
    split_epd("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - bm e4 d4; pv e4 e5; id \"start pos\";\n", f);
    EXPECT_STREQ(f.fen, START_FEN);
    EXPECT_STREQ(f.bm, "e4d4");
    EXPECT_STREQ(f.id, "\"startpos\"");
    EXPECT_STREQ(f.am, "");
    // A six-field FEN, every recognised opcode.
    split_epd("8/8/8/8/8/8/8/K6k b - - 3 45 am Kb2; ce 120; sc 7; gr 2; c0 x y; bm Kh7;", f);
    EXPECT_STREQ(f.fen, "8/8/8/8/8/8/8/K6k b - -");
    EXPECT_STREQ(f.am, "Kb2");
    EXPECT_STREQ(f.ce, "120");
    EXPECT_STREQ(f.sc, "7");
    EXPECT_STREQ(f.gr, "2");
    EXPECT_STREQ(f.c0, "xy");
    EXPECT_STREQ(f.bm, "Kh7");
    // An operation without its ';' ends the line; the earlier buffers were cleared.
    split_epd("8/8/8/8/8/8/8/K6k w - - bm Ka2; am Kb1", f);
    EXPECT_STREQ(f.bm, "Ka2");
    EXPECT_STREQ(f.am, "");
    EXPECT_STREQ(f.ce, "");
    // A bare FEN with fewer fields.
    split_epd("8/8/8/8/8/8/8/K6k w", f);
    EXPECT_STREQ(f.fen, "8/8/8/8/8/8/8/K6k w");
    // Overlong operands are cut, never overflow.
    std::string long_line = "8/8/8/8/8/8/8/K6k w - - bm " + std::string(1000, 'x') + ";";
    split_epd(long_line.c_str(), f);
    EXPECT_EQ(strlen(f.bm), size_t(EPD_FIELD - 1));
}

TEST(Fen, WrittenCastlingRightsReadBackToTheSameRooks) {
    for (const char* name : {"standard.epd", "chess960.epd", "chess960_two_rooks.epd"}) {
        std::vector<PerftLine> lines;
        if (!read_perft_file(name, lines)) GTEST_SKIP() << "perft data " << shared_perft_path(name) << " not found";
        for (const PerftLine& pl : lines) {
            auto b = make_board(pl.fen.c_str());
            auto again = make_board(fen_of(b->pos, 0).c_str());
            EXPECT_EQ(again->pos.castling, b->pos.castling) << pl.fen;
            EXPECT_EQ(memcmp(again->pos.castle_rook, b->pos.castle_rook, 4), 0) << pl.fen;
            EXPECT_EQ(again->pos.key, b->pos.key) << pl.fen;
        }
    }
}
