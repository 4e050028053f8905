// Attack questions, the legality test, move classification and draw detection.
#include "board/attacks.h"

#include <gtest/gtest.h>

#include "board/makemove.h"
#include "board/notation.h"
#include "board_test_util.h"

using namespace board_test;

namespace {

int sq(const char* name) { return make_square(name[0] - 'a', name[1] - '1'); }
Move mv(const char* from, const char* to, Move flags = 0) { return make_move_code(sq(from), sq(to), flags); }

MoveEntry entry_for(const Position& pos, Move m) {
    MoveEntry e{};
    e.move = m;
    e.piece = pos.board[move_from(m)];
    e.captured = pos.board[move_to(m)];
    return e;
}

void play(Position& pos, std::initializer_list<const char*> moves) {
    for (const char* text : moves) {
        Move m = parse_uci_move(pos, text);
        ASSERT_NE(m, MOVE_NONE) << text;
        make_move(pos, m);
    }
}

}  // namespace

TEST(Attacks, IsAttackedAndLeastAttacker) {
    auto b = make_board("4k3/8/8/3p4/1N6/2B5/3R4/Q3K3 w - - 0 1");
    const Position& pos = b->pos;
    const u64 occ = occupancy(pos);
    // d5: knight b4 and rook d2; the knight is the cheaper.
    EXPECT_TRUE(is_attacked(pos, sq("d5"), WHITE));
    EXPECT_EQ(least_attacker(pos, sq("d5"), WHITE, occ), sq("b4"));
    // d4: bishop c3, rook d2, and the queen a1 once the bishop has left the occupancy.
    EXPECT_EQ(least_attacker(pos, sq("d4"), WHITE, occ), sq("c3"));
    EXPECT_EQ(least_attacker(pos, sq("d4"), WHITE, occ & ~square_bit(sq("c3"))), sq("d2"));
    EXPECT_EQ(least_attacker(pos, sq("d4"), WHITE, occ & ~square_bit(sq("c3")) & ~square_bit(sq("d2"))), sq("a1"));
    EXPECT_EQ(least_attacker(pos, sq("d4"), WHITE, occ & ~square_bit(sq("d2"))), sq("c3"));
    EXPECT_EQ(least_attacker(pos, sq("e4"), BLACK, occ), sq("d5"));
    EXPECT_EQ(least_attacker(pos, sq("d7"), BLACK, occ), sq("e8"));
    EXPECT_EQ(least_attacker(pos, sq("h8"), WHITE, occ), sq("c3"));
    EXPECT_EQ(least_attacker(pos, sq("h7"), WHITE, occ), NO_SQUARE);
    EXPECT_FALSE(is_attacked(pos, sq("h7"), WHITE));
    EXPECT_EQ(checker_square(pos), NO_SQUARE);
}

TEST(Attacks, LegalityOfPinsEnPassantAndKingMoves) {
    // En passant that would expose the king along the fifth rank.
    auto ep = make_board("8/8/8/K1pP3r/8/8/8/4k3 w - c6 0 1");
    EXPECT_FALSE(is_legal(ep->pos, WHITE, mv("d5", "c6")));
    EXPECT_TRUE(is_legal(ep->pos, WHITE, mv("d5", "d6")));
    // The same capture is fine when it removes the checking pawn.
    auto ep_check = make_board("8/8/8/2pP4/1K6/8/8/4k3 w - c6 0 1");
    EXPECT_TRUE(is_legal(ep_check->pos, WHITE, mv("d5", "c6")));
    EXPECT_FALSE(is_legal(ep_check->pos, WHITE, mv("d5", "d6")));
    // A pinned rook may move along the pin only.
    auto pin = make_board("4r1k1/8/8/8/8/8/4R3/4K3 w - - 0 1");
    EXPECT_TRUE(is_legal(pin->pos, WHITE, mv("e2", "e5")));
    EXPECT_TRUE(is_legal(pin->pos, WHITE, mv("e2", "e8")));
    EXPECT_FALSE(is_legal(pin->pos, WHITE, mv("e2", "d2")));
    // The king may not retreat along the checking line, may capture an undefended checker.
    auto king = make_board("6k1/8/8/8/8/8/4r3/4K3 w - - 0 1");
    EXPECT_TRUE(is_legal(king->pos, WHITE, mv("e1", "e2")));
    EXPECT_FALSE(is_legal(king->pos, WHITE, mv("e1", "f2")));
    EXPECT_FALSE(is_legal(king->pos, WHITE, mv("e1", "d2")));
    EXPECT_TRUE(is_legal(king->pos, WHITE, mv("e1", "d1")));
    auto defended = make_board("6k1/8/8/8/8/8/4r2r/4K3 w - - 0 1");
    EXPECT_FALSE(is_legal(defended->pos, WHITE, mv("e1", "e2")));
    auto line = make_board("6k1/8/8/8/8/8/8/r3K3 w - - 0 1");
    EXPECT_FALSE(is_legal(line->pos, WHITE, mv("e1", "f1")));
    EXPECT_TRUE(is_legal(line->pos, WHITE, mv("e1", "e2")));
    EXPECT_FALSE(is_legal(line->pos, WHITE, MOVE_NONE));
}

TEST(Attacks, CastlingLegality) {
    // Through an attacked square, out of check, onto an attacked square.
    auto through = make_board("4k3/8/8/8/8/8/5r2/4K2R w K - 0 1");
    EXPECT_FALSE(is_legal(through->pos, WHITE, mv("e1", "g1", FLAG_KING_SIDE)));
    auto check = make_board("r3k3/8/8/8/8/8/8/r3K2R w K - 0 1");
    EXPECT_FALSE(is_legal(check->pos, WHITE, mv("e1", "g1", FLAG_KING_SIDE)));
    auto onto = make_board("4k3/8/8/8/7n/8/8/4K2R w K - 0 1");
    EXPECT_TRUE(is_legal(onto->pos, WHITE, mv("e1", "g1", FLAG_KING_SIDE)));
    auto onto_bad = make_board("4k3/8/8/8/8/8/6r1/4K2R w K - 0 1");
    EXPECT_FALSE(is_legal(onto_bad->pos, WHITE, mv("e1", "g1", FLAG_KING_SIDE)));
    // Only the rook crosses an attacked square (b1): legal.
    auto rook_path = make_board("1r2k3/8/8/8/8/8/8/R3K3 w Q - 0 1");
    EXPECT_TRUE(is_legal(rook_path->pos, WHITE, mv("e1", "c1", FLAG_QUEEN_SIDE)));
    // Chess960: an enemy rook on a1 hidden behind the castling rook on b1 attacks c1 afterwards.
    auto hidden = make_board("4k3/8/8/8/8/8/8/rR1K4 w B - 0 1");
    ASSERT_EQ(hidden->pos.castling, 2);
    EXPECT_FALSE(is_legal(hidden->pos, WHITE, mv("d1", "c1", FLAG_QUEEN_SIDE)));
    auto not_hidden = make_board("4k3/8/8/8/8/8/8/nR1K4 w B - 0 1");
    EXPECT_TRUE(is_legal(not_hidden->pos, WHITE, mv("d1", "c1", FLAG_QUEEN_SIDE)));
}

TEST(Attacks, MoveFlags) {
    auto b = make_board("4k3/2P5/8/3Pp3/8/1P6/8/R3K2N w - e6 0 1");
    Position& pos = b->pos;
    auto flags = [&](Move m) { return move_flags(pos, WHITE, entry_for(pos, m)); };
    EXPECT_EQ(flags(mv("c7", "c8", FLAG_PROMO_QUEEN)), MF_PROMOTION_RANK | MF_CHECK);
    EXPECT_EQ(flags(mv("c7", "c8", FLAG_PROMO_KNIGHT)), MF_PROMOTION_RANK);
    EXPECT_EQ(flags(mv("d5", "e6")), MF_CAPTURE);  // en passant onto the sixth rank is no push
    EXPECT_EQ(flags(mv("d5", "d6")), MF_SIXTH_RANK_PUSH);
    EXPECT_EQ(flags(mv("b3", "b4")), 0);
    EXPECT_EQ(flags(mv("a1", "a8")), MF_CHECK);
    EXPECT_EQ(flags(mv("h1", "g3")), 0);
    EXPECT_EQ(flags(mv("h1", "f2")), 0);
    auto seventh = make_board("4k3/8/3P4/8/8/8/8/4K3 w - - 0 1");
    EXPECT_EQ(move_flags(seventh->pos, WHITE, entry_for(seventh->pos, mv("d6", "d7"))), MF_SEVENTH_RANK | MF_CHECK);
    // Black counts ranks from its own side; a discovered check is found.
    auto black = make_board("4k3/8/8/8/8/4b3/3p4/6K1 b - - 0 1");
    EXPECT_EQ(move_flags(black->pos, BLACK, entry_for(black->pos, mv("d2", "d1", FLAG_PROMO_ROOK))),
              MF_PROMOTION_RANK | MF_CHECK);
    auto disc = make_board("4k3/8/8/8/8/8/4N3/K3R3 w - - 0 1");
    EXPECT_EQ(move_flags(disc->pos, WHITE, entry_for(disc->pos, mv("e2", "c3"))), MF_CHECK);
    // Castling checks with the rook: the move is not quiet.
    auto castle = make_board("5k2/8/8/8/8/8/8/4K2R w K - 0 1");
    EXPECT_EQ(move_flags(castle->pos, WHITE, entry_for(castle->pos, mv("e1", "g1", FLAG_KING_SIDE))), MF_CHECK);
}

// gives_check against making the move and asking whether the opponent's king is attacked, for
// every legal move of every position (and of its children) in the perft suites: castling with
// a checking rook, en passant, promotions and discovered checks included.
TEST(Attacks, GivesCheckMatchesTheMadeMove) {
    const char* const files[] = {"standard.epd", "chess960.epd", "chess960_two_rooks.epd"};
    int checks = 0, castling_checks = 0;
    for (const char* file : files) {
        BOARD_LOAD_PERFT_OR_SKIP(file, lines);
        for (const auto& line : lines) {
            auto b = make_board(line.fen.c_str());
            Position& pos = b->pos;
            auto verify = [&](Position& p) {
                for (Move m : all_moves(p)) {
                    if (!is_legal(p, p.side, m)) continue;
                    const int side = p.side;
                    const bool predicted = gives_check(p, side, m);
                    const bool castling = piece_type(p.board[move_from(m)]) == KING && move_has_flag(m);
                    make_move(p, m);
                    const bool actual = is_attacked(p, p.king_sq[side ^ 1], side);
                    unmake_move(p);
                    ASSERT_EQ(predicted, actual) << line.fen << " move " << std::hex << m;
                    checks += actual;
                    castling_checks += actual && castling;
                }
            };
            verify(pos);
            for (Move m : all_moves(pos)) {
                if (!is_legal(pos, pos.side, m)) continue;
                make_move(pos, m);
                verify(pos);
                unmake_move(pos);
            }
        }
    }
    EXPECT_GT(checks, 100);
    EXPECT_GT(castling_checks, 0);
}

TEST(Attacks, RepetitionInsideSearchAndInTheGame) {
    auto b = make_board(START_FEN);
    Position& pos = b->pos;
    play(pos, {"g1f3", "g8f6", "f3g1", "f6g8"});
    // One earlier occurrence: a draw only when it lies inside the current search.
    EXPECT_FALSE(is_draw(pos, 0));
    EXPECT_FALSE(is_draw(pos, 4));
    EXPECT_TRUE(is_draw(pos, 5));
    play(pos, {"g1f3", "g8f6", "f3g1", "f6g8"});
    EXPECT_TRUE(is_draw(pos, 0));  // third occurrence
    // A null move two plies back ends the scan: positions before it do not count.
    auto n = make_board(START_FEN);
    play(n->pos, {"g1f3", "g8f6", "f3g1", "f6g8"});
    EXPECT_TRUE(is_draw(n->pos, 10));
    make_null(n->pos);
    make_null(n->pos);
    EXPECT_EQ(n->pos.key, b->hist.entries[0].key);
    EXPECT_FALSE(is_draw(n->pos, 10));
}

TEST(Attacks, FiftyMoveRuleGivesWayToMate) {
    auto quiet = make_board("4k3/8/8/8/8/8/8/4K2R w - - 100 80");
    EXPECT_TRUE(is_draw(quiet->pos, 0));
    auto mate = make_board("R5k1/5ppp/8/8/8/8/8/6K1 b - - 100 80");
    EXPECT_FALSE(is_draw(mate->pos, 0));
    auto stalemate = make_board("7k/5Q2/6K1/8/8/8/8/8 b - - 100 80");
    EXPECT_FALSE(is_draw(stalemate->pos, 0));
    auto early = make_board("4k3/8/8/8/8/8/8/4K2R w - - 99 80");
    EXPECT_FALSE(is_draw(early->pos, 0));
}
