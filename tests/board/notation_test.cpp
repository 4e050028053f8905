// Move notation: coordinate and algebraic texts, parsing, and the board diagram.
#include <gtest/gtest.h>

#include "board/makemove.h"
#include "board/notation.h"
#include "board_test_util.h"
#include "core/output.h"

using namespace board_test;

namespace {

struct Texts {
    char coord[MOVE_TEXT], san[MOVE_TEXT], san_file[MOVE_TEXT], san_rank[MOVE_TEXT];
};

Texts texts_of(Position& pos, Move m) {
    Texts t;
    move_texts(pos, m, t.coord, t.san, t.san_file, t.san_rank);
    return t;
}

Move sq_move(const char* from, const char* to, Move flags = 0) {
    return make_move_code(make_square(from[0] - 'a', from[1] - '1'), make_square(to[0] - 'a', to[1] - '1'), flags);
}

// Runs fn with the program's output sent to a temporary file; returns what was printed.
template <typename Fn>
std::string captured_output(Fn fn) {
    FILE* f = tmpfile();
    set_output_stream(f);
    fn();
    set_output_stream(nullptr);
    fflush(f);
    rewind(f);
    std::string out;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    fclose(f);
    return out;
}

int parse(Position& pos, const char* text, Move* m) {
    char buf[64];
    snprintf(buf, sizeof buf, "%s", text);
    return parse_move(pos, buf, m);
}

}  // namespace

TEST(Notation, PieceMovesAndTheirDisambiguatedForms) {
    NotationModes modes(0, 0);
    auto b = make_board(START_FEN);
    Texts t = texts_of(b->pos, sq_move("g1", "f3"));
    EXPECT_STREQ(t.coord, "g1f3");
    EXPECT_STREQ(t.san, "Nf3");
    EXPECT_STREQ(t.san_file, "Ngf3");
    EXPECT_STREQ(t.san_rank, "N1f3");

    // Two knights on one rank reach c3: the file names the mover.
    auto rank_pair = make_board("4k3/8/8/8/8/8/8/1N1NK3 w - - 0 1");
    EXPECT_STREQ(texts_of(rank_pair->pos, sq_move("b1", "c3")).san, "Nbc3");
    // Two knights on one file reach d4: the rank names the mover.
    auto file_pair = make_board("4k3/8/2N5/8/8/8/2N5/4K3 w - - 0 1");
    EXPECT_STREQ(texts_of(file_pair->pos, sq_move("c2", "d4")).san, "N2d4");
    // Rooks on one file, capture: rank form with the capture sign in every algebraic text.
    auto rooks = make_board("3k4/8/R7/8/8/8/r7/R3K3 w - - 0 1");
    t = texts_of(rooks->pos, sq_move("a1", "a2"));
    EXPECT_STREQ(t.san, "R1xa2");
    EXPECT_STREQ(t.san_file, "Raxa2");
    EXPECT_STREQ(t.coord, "a1a2");
}

TEST(Notation, KnightsOnNoCommonLinePrintAmbiguouslyAndParseOnlyWhenDisambiguated) {
    NotationModes modes(0, 0);
    auto b = make_board("4k3/8/8/8/8/5N2/8/1N2K3 w - - 0 1");
    EXPECT_STREQ(texts_of(b->pos, sq_move("b1", "d2")).san, "Nd2");
    EXPECT_STREQ(texts_of(b->pos, sq_move("f3", "d2")).san, "Nd2");
    Move m = 1;
    std::string out = captured_output([&] { EXPECT_EQ(parse(b->pos, "Nd2", &m), 0); });
    EXPECT_EQ(out, "ambiguous move\n");
    EXPECT_EQ(m, MOVE_NONE);
    EXPECT_EQ(parse(b->pos, "Nbd2", &m), 1);
    EXPECT_EQ(m, sq_move("b1", "d2"));
    EXPECT_EQ(parse(b->pos, "N3d2", &m), 1);
    EXPECT_EQ(m, sq_move("f3", "d2"));
    out = captured_output([&] { EXPECT_EQ(parse(b->pos, "Nc4", &m), 0); });
    EXPECT_EQ(out, "");
}

TEST(Notation, PawnCapturesAndPromotions) {
    NotationModes modes(0, 0);
    auto b = make_board("4k3/8/8/3p4/4P3/8/8/4K3 w - - 0 1");
    Texts t = texts_of(b->pos, sq_move("e4", "d5"));
    EXPECT_STREQ(t.san, "exd5");
    EXPECT_STREQ(t.san_file, "ed");
    EXPECT_STREQ(t.san_rank, "");
    Move m;
    EXPECT_EQ(parse(b->pos, "exd5", &m), 1);
    EXPECT_EQ(m, sq_move("e4", "d5"));
    EXPECT_EQ(parse(b->pos, "ed", &m), 1);
    EXPECT_EQ(parse(b->pos, "e5", &m), 1);
    EXPECT_EQ(m, sq_move("e4", "e5"));

    // Capture towards the b-file written with two letters is not a bishop promotion.
    auto bfile = make_board("4k3/8/8/1p6/2P5/8/8/4K3 w - - 0 1");
    EXPECT_EQ(parse(bfile->pos, "cb", &m), 1);
    EXPECT_EQ(m, sq_move("c4", "b5"));

    auto promo = make_board("6r1/5P2/8/8/8/8/8/k3K3 w - - 0 1");
    t = texts_of(promo->pos, sq_move("f7", "g8", FLAG_PROMO_QUEEN));
    EXPECT_STREQ(t.san, "fxg8=Q");
    EXPECT_STREQ(t.coord, "f7g8=Q");
    EXPECT_STREQ(t.san_file, "fg=Q");
    for (const char* text : {"f7g8q", "f7g8Q", "f7g8=Q", "fxg8=Q", "fxg8q", "fg=Q"}) {
        EXPECT_EQ(parse(promo->pos, text, &m), 1) << text;
        EXPECT_EQ(m, sq_move("f7", "g8", FLAG_PROMO_QUEEN)) << text;
    }
    EXPECT_EQ(parse(promo->pos, "f8n", &m), 1);
    EXPECT_EQ(m, sq_move("f7", "f8", FLAG_PROMO_KNIGHT));
    EXPECT_EQ(parse(promo->pos, "f7f8=R", &m), 1);
    EXPECT_EQ(m, sq_move("f7", "f8", FLAG_PROMO_ROOK));
}

TEST(Notation, CoordinateFormsFollowTheModes) {
    auto b = make_board("4k3/4P3/8/8/8/8/8/R3K2R w KQ - 0 1");
    const Move knight_promo = sq_move("e7", "e8", FLAG_PROMO_KNIGHT);
    const Move short_castle = sq_move("e1", "g1", FLAG_KING_SIDE);
    const Move long_castle = sq_move("e1", "c1", FLAG_QUEEN_SIDE);
    char out[MOVE_TEXT];
    {
        NotationModes modes(1, 0);
        move_to_uci(b->pos, WHITE, knight_promo, out);
        EXPECT_STREQ(out, "e7e8n");
        move_to_uci(b->pos, WHITE, sq_move("e7", "e8", FLAG_PROMO_BISHOP), out);
        EXPECT_STREQ(out, "e7e8b");
        move_to_uci(b->pos, WHITE, short_castle, out);
        EXPECT_STREQ(out, "e1g1");
        move_to_uci(b->pos, WHITE, long_castle, out);
        EXPECT_STREQ(out, "e1c1");
    }
    {
        NotationModes modes(0, 0);
        move_to_uci(b->pos, WHITE, knight_promo, out);
        EXPECT_STREQ(out, "e7e8=N");
        move_to_text(b->pos, WHITE, MOVE_NONE, out);
        EXPECT_STREQ(out, "null");
    }
    {
        NotationModes modes(1, 1);
        move_to_uci(b->pos, WHITE, short_castle, out);
        EXPECT_STREQ(out, "e1h1");
        move_to_uci(b->pos, WHITE, long_castle, out);
        EXPECT_STREQ(out, "e1a1");
        move_to_uci(b->pos, WHITE, sq_move("e7", "e8", FLAG_PROMO_ROOK), out);
        EXPECT_STREQ(out, "e7e8r");
    }
}

TEST(Notation, CastlingParsesInEveryFormAndMode) {
    for (int c960 = 0; c960 < 2; c960++) {
        NotationModes modes(1, c960);
        auto b = make_board("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
        Texts t = texts_of(b->pos, sq_move("e1", "g1", FLAG_KING_SIDE));
        EXPECT_STREQ(t.san, "o-o");
        EXPECT_STREQ(t.coord, c960 ? "e1h1" : "e1g1");
        EXPECT_STREQ(t.san_rank, c960 ? "e1g1" : "e1h1");
        t = texts_of(b->pos, sq_move("e1", "c1", FLAG_QUEEN_SIDE));
        EXPECT_STREQ(t.san, "o-o-o");
        EXPECT_STREQ(t.coord, c960 ? "e1a1" : "e1c1");
        Move m;
        for (const char* text : {"e1g1", "e1h1", "O-O", "0-0", "o-o"}) {
            EXPECT_EQ(parse(b->pos, text, &m), 1) << text << " chess960=" << c960;
            EXPECT_EQ(m, sq_move("e1", "g1", FLAG_KING_SIDE)) << text;
        }
        for (const char* text : {"e1c1", "e1a1", "O-O-O", "0-0-0"}) {
            EXPECT_EQ(parse(b->pos, text, &m), 1) << text << " chess960=" << c960;
            EXPECT_EQ(m, sq_move("e1", "c1", FLAG_QUEEN_SIDE)) << text;
        }
        EXPECT_EQ(parse_uci_move(b->pos, "e1h1"), sq_move("e1", "g1", FLAG_KING_SIDE));
        EXPECT_EQ(parse_uci_move(b->pos, "e1g1"), sq_move("e1", "g1", FLAG_KING_SIDE));
        EXPECT_EQ(parse_uci_move(b->pos, "e1a1"), sq_move("e1", "c1", FLAG_QUEEN_SIDE));
        EXPECT_EQ(parse_uci_move(b->pos, "e1c1"), sq_move("e1", "c1", FLAG_QUEEN_SIDE));
    }
}

TEST(Notation, ChecksAreMarkedInEveryForm) {
    NotationModes modes(1, 0);
    auto b = make_board("4k3/8/8/8/8/8/8/R3K3 w Q - 0 1");
    Texts t = texts_of(b->pos, sq_move("a1", "a8"));
    EXPECT_STREQ(t.san, "Ra8+");
    EXPECT_STREQ(t.coord, "a1a8+");
    EXPECT_STREQ(t.san_file, "Raa8+");
    EXPECT_STREQ(t.san_rank, "R1a8+");
    Move m;
    EXPECT_EQ(parse(b->pos, "Ra8+", &m), 1);
    EXPECT_EQ(parse(b->pos, "Ra8", &m), 1);
    EXPECT_EQ(m, sq_move("a1", "a8"));
    // Discovered check by the bishop behind the moving knight.
    auto disc = make_board("7k/8/8/8/3N4/8/1B6/4K3 w - - 0 1");
    EXPECT_STREQ(texts_of(disc->pos, sq_move("d4", "b5")).san, "Nb5+");
    EXPECT_STREQ(texts_of(disc->pos, sq_move("b2", "c3")).san, "Bc3");
    // A castling rook that lands with check marks the castling.
    auto castle = make_board("5k2/8/8/8/8/8/8/4K2R w K - 0 1");
    EXPECT_STREQ(texts_of(castle->pos, sq_move("e1", "g1", FLAG_KING_SIDE)).san, "o-o+");
}

TEST(Notation, ParseUciMoveFindsOnlyLegalMoves) {
    NotationModes modes(1, 0);
    auto b = make_board(START_FEN);
    EXPECT_EQ(parse_uci_move(b->pos, "e2e4"), sq_move("e2", "e4"));
    EXPECT_EQ(parse_uci_move(b->pos, "e2e5"), MOVE_NONE);
    EXPECT_EQ(parse_uci_move(b->pos, "e7e5"), MOVE_NONE);  // the other side's move
    EXPECT_EQ(parse_uci_move(b->pos, "e2e4q"), MOVE_NONE);
    EXPECT_EQ(parse_uci_move(b->pos, "e1g1"), MOVE_NONE);
    for (const char* junk : {"", "e2", "z9e4", "e2e4xx", "e2e4k"}) EXPECT_EQ(parse_uci_move(b->pos, junk), MOVE_NONE) << junk;

    auto pinned = make_board("4k3/8/8/8/8/8/4r3/4K2R w K - 0 1");
    EXPECT_EQ(parse_uci_move(pinned->pos, "e1g1"), MOVE_NONE);  // castling out of check

    auto promo = make_board("4k3/1P6/8/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(parse_uci_move(promo->pos, "b7b8"), sq_move("b7", "b8", FLAG_PROMO_QUEEN));
    EXPECT_EQ(parse_uci_move(promo->pos, "b7b8N"), sq_move("b7", "b8", FLAG_PROMO_KNIGHT));
    EXPECT_EQ(parse_uci_move(promo->pos, "b7b8b"), sq_move("b7", "b8", FLAG_PROMO_BISHOP));
    EXPECT_EQ(parse_uci_move(promo->pos, "b7b8r"), sq_move("b7", "b8", FLAG_PROMO_ROOK));

    // Chess960, king b1 and rook a1: b1c1 is the plain king move, b1a1 the castling.
    for (int c960 = 0; c960 < 2; c960++) {
        NotationModes m960(1, c960);
        auto c = make_board("4k3/8/8/8/8/8/8/RK6 w Q - 0 1");
        EXPECT_EQ(parse_uci_move(c->pos, "b1c1"), sq_move("b1", "c1"));
        EXPECT_EQ(parse_uci_move(c->pos, "b1a1"), sq_move("b1", "c1", FLAG_QUEEN_SIDE));
    }
}

TEST(Notation, BoardDiagram) {
    auto b = make_board(START_FEN);
    std::string out = captured_output([&] { print_board(b->pos); });
    EXPECT_EQ(out,
              "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 0\n"
              "  r n b q k b n r\n"
              "  o o o o o o o o\n"
              "  - + - + - + - +\n"
              "  + - + - + - + -\n"
              "  - + - + - + - +\n"
              "  + - + - + - + -\n"
              "  P P P P P P P P\n"
              "  R N B Q K B N R\n"
              "white\n"
              "\n");
}

TEST(Notation, GarbageTextNeverMatches) {
    NotationModes modes(0, 0);
    auto b = make_board(START_FEN);
    Move m = 1;
    std::string long_text(300, 'e');
    for (const char* text : {"", "+", "++e4", "=", "=Q", "Q", "q", "e", "e9", "Nf", "o-o", "O-O-O", "xx", "e2e4e2e4e2e4",
                             long_text.c_str()}) {
        char buf[400];
        snprintf(buf, sizeof buf, "%s", text);
        EXPECT_EQ(parse_move(b->pos, buf, &m), 0) << text;
        EXPECT_EQ(m, MOVE_NONE);
        EXPECT_EQ(parse_uci_move(b->pos, text), MOVE_NONE) << text;
    }
    char e4[] = "e4+";
    EXPECT_EQ(parse_move(b->pos, e4, &m), 1);
}
