// Refusing positions the engine cannot work with, and dropping impossible en-passant squares.
#include <gtest/gtest.h>

#include <random>

#include "board/perft.h"
#include "board/validate.h"
#include "board_test_util.h"

using namespace board_test;

namespace {

std::string refusal(const char* fen) {
    auto b = make_board(fen);
    char why[80];
    return validate_position(b->pos, why) ? std::string(why) : std::string();
}

}  // namespace

TEST(Validate, AcceptsOrdinaryPositions) {
    EXPECT_EQ(refusal(START_FEN), "");
    EXPECT_EQ(refusal("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -"), "");
    EXPECT_EQ(refusal("rnbqkbnr/pppp1ppp/8/4pP2/8/8/PPPPP1PP/RNBQKBNR w KQkq e6 0 3"), "");
    // The side to move may be in check.
    EXPECT_EQ(refusal("4k3/8/8/8/8/8/4r3/4K3 w - - 0 1"), "");
}

TEST(Validate, RefusesBrokenPositions) {
    EXPECT_NE(refusal("4k3/8/8/8/8/8/8/8 w - -"), "");                  // no white king
    EXPECT_NE(refusal("4k3/8/8/8/8/8/8/3KK3 w - -"), "");               // two white kings
    EXPECT_NE(refusal("4k2k/8/8/8/8/8/8/4K3 w - -"), "");               // two black kings
    EXPECT_NE(refusal("4k3/8/8/8/8/8/8/P3K3 w - -"), "");               // pawn on the first rank
    EXPECT_NE(refusal("p3k3/8/8/8/8/8/8/4K3 w - -"), "");               // pawn on the eighth rank
    EXPECT_EQ(refusal("4k3/8/8/8/8/8/PPPPPPPP/RNBQKBNR w - -"), "");    // 16 pieces are fine...
    EXPECT_EQ(refusal("4k3/8/8/8/8/N7/PPPPPPPP/RNBQKB1R w - -"), "");
    EXPECT_NE(refusal("4k3/8/8/8/8/N7/PPPPPPPP/RNBQKBNR w - -"), "");   // ...17 are not
    EXPECT_NE(refusal("4k3/8/8/8/8/P7/PPPPPPPP/4K3 w - -"), "");         // nine pawns
    EXPECT_NE(refusal("4k2R/8/8/8/8/8/8/4K3 w - -"), "");               // white to move could take the king
    EXPECT_NE(refusal("8/8/8/8/8/8/8/3kK3 w - -"), "");                 // kings side by side
    EXPECT_NE(refusal("4k3/8/8/8/8/8/8/4K3 w - e6"), "");               // en passant with no pawn
}

TEST(Validate, RefusesEditedPositionsThatDisagreeWithThemselves) {
    auto b = make_board(START_FEN);
    char why[80];
    b->pos.board[make_square(4, 3)] = make_piece(WHITE, QUEEN);  // a byte without its bitboard
    EXPECT_NE(validate_position(b->pos, why), 0);
    auto c = make_board("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    c->pos.castle_rook[0] = make_square(6, 0);  // the right no longer names a rook
    EXPECT_NE(validate_position(c->pos, why), 0);
}

TEST(Validate, EnPassantSquareSanitizing) {
    // Kept: a square a double push can have produced, even when no pawn can capture.
    auto kept = make_board("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3");
    const u64 key = kept->pos.key;
    EXPECT_EQ(sanitize_ep_square(kept->pos), 0);
    EXPECT_EQ(kept->pos.ep_square, make_square(4, 2));
    EXPECT_EQ(kept->pos.key, key);

    for (const char* fen : {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e3",   // wrong side
                            "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq e3",     // no pawn
                            "rnbqkbnr/pppppppp/8/8/4P3/4N3/PPPP1PPP/RNBQKB1R b KQkq e3", // occupied
                            "rnbqkbnr/pppppppp/8/8/4P3/8/PPPPPPPP/RNBQKBNR b KQkq e3",   // origin occupied
                            "4k3/8/8/8/4P3/8/8/4K3 b - e4"}) {                            // wrong rank
        auto b = make_board(fen);
        char why[80];
        EXPECT_NE(validate_position(b->pos, why), 0) << fen;
        EXPECT_EQ(sanitize_ep_square(b->pos), 1) << fen;
        EXPECT_EQ(b->pos.ep_square, NO_SQUARE);
        EXPECT_EQ(invariant_error(b->pos), "");
    }
    auto fixed = make_board("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq e3");
    sanitize_ep_square(fixed->pos);
    EXPECT_EQ(fixed->pos.key, make_board("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq -")->pos.key);
}

// Mangled FEN text never breaks reading; whatever passes validation can be searched safely.
TEST(Validate, MangledFenTextIsHarmless) {
    static const char* const seeds[] = {
        START_FEN, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", "rnbqkbnr/pppp1ppp/8/4pP2/8/8/PPPPP1PP/RNBQKBNR w KQkq e6 0 3",
        "bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 0 1", "4k3/8/8/8/8/8/8/4KR1R w FH - 0 1"};
    static const char alphabet[] = "pnbrqkPNBRQK12345678/ wb-KQkqA-Ha-he3e6d6 09";
    std::mt19937 rng(2024);
    auto b = make_board(START_FEN);
    int accepted = 0;
    for (int i = 0; i < 3000; i++) {
        std::string fen = seeds[rng() % (sizeof seeds / sizeof *seeds)];
        int edits = 1 + int(rng() % 4);
        for (int e = 0; e < edits; e++) {
            size_t at = rng() % (fen.size() + 1);
            char c = alphabet[rng() % (sizeof alphabet - 1)];
            switch (rng() % 3) {
                case 0: fen.insert(fen.begin() + long(at), c); break;
                case 1: if (at < fen.size()) fen[at] = c; break;
                default: if (at < fen.size()) fen.erase(at, 1 + rng() % 3); break;
            }
        }
        set_fen(b->pos, fen.c_str());
        char out[128];
        get_fen(b->pos, out, 1);
        ASSERT_LT(strlen(out), 100u);
        EpdFields fields;
        split_epd(fen.c_str(), fields);
        char why[80];
        sanitize_ep_square(b->pos);
        if (validate_position(b->pos, why) != 0) continue;
        accepted++;
        ASSERT_EQ(invariant_error(b->pos), "") << fen;
        const u64 key = b->pos.key;
        perft(b->pos, 2);
        ASSERT_EQ(b->pos.key, key) << fen;
    }
    EXPECT_GT(accepted, 100);
}
