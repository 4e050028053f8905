// Make and unmake: exact restoration, incremental keys, the special moves and long games.
#include <gtest/gtest.h>

#include <map>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/notation.h"
#include "board/perft.h"
#include "board_test_util.h"

using namespace board_test;

namespace {

struct Snapshot {
    Position pos;
    i16 count, ply;
    Move last_move;
    explicit Snapshot(const Position& p) {
        memcpy(static_cast<void*>(&pos), &p, sizeof pos);
        count = p.owner->count;
        ply = p.owner->ply;
        last_move = p.owner->last_move;
    }
    void expect_same(const Position& p, const char* what) const {
        EXPECT_EQ(memcmp(&pos, &p, sizeof pos), 0) << what;
        EXPECT_EQ(count, p.owner->count) << what;
        EXPECT_EQ(ply, p.owner->ply) << what;
        EXPECT_EQ(last_move, p.owner->last_move) << what;
    }
};

std::string describe(const Position& pos, Move m) {
    char fen[128], text[MOVE_TEXT];
    get_fen(pos, fen, 0);
    move_to_uci(pos, pos.side, m, text);
    return std::string(fen) + " move " + text;
}

// Makes and unmakes every pseudo-legal move (legal or not) at each node; recurses through the
// legal ones. Also checks that is_legal accepts exactly as many moves as perft counts (perft
// skips the full test for pieces that cannot uncover their king). Returns the number of moves
// checked.
long walk(Position& pos, int depth) {
    MoveEntry list[MAX_MOVES];
    const int n = gen_all_moves(pos, list);
    long checked = 0;
    u64 legal_count = 0;
    for (int i = 0; i < n; i++) legal_count += is_legal(pos, pos.side, list[i].move);
    EXPECT_EQ(legal_count, perft(pos, 1)) << describe(pos, MOVE_NONE);
    for (int i = 0; i < n; i++) {
        const Move m = list[i].move;
        const Snapshot before(pos);
        const bool legal = is_legal(pos, pos.side, m);
        make_move(pos, m);
        checked++;
        std::string err = invariant_error(pos);
        if (!err.empty()) {
            unmake_move(pos);
            ADD_FAILURE() << err << " after " << describe(pos, m);
            return checked;
        }
        EXPECT_EQ(pos.owner->last_move, pos.owner->entries[pos.owner->count - 1].move);
        if (legal && depth > 1) checked += walk(pos, depth - 1);
        unmake_move(pos);
        before.expect_same(pos, describe(pos, m).c_str());
        if (testing::Test::HasFailure()) return checked;
    }
    return checked;
}

void walk_file(const char* name, int depth, size_t max_lines) {
    std::vector<PerftLine> lines;
    if (!read_perft_file(name, lines)) GTEST_SKIP() << "perft data " << shared_perft_path(name) << " not found";
    for (size_t i = 0; i < lines.size() && i < max_lines; i++) {
        auto b = make_board(lines[i].fen.c_str());
        ASSERT_EQ(invariant_error(b->pos), "") << lines[i].fen;
        EXPECT_GT(walk(b->pos, depth), 0) << lines[i].fen;
        if (testing::Test::HasFailure()) return;
    }
}

#ifdef NDEBUG
constexpr size_t DEEP_WALK_LINES = 1000;
#else
constexpr size_t DEEP_WALK_LINES = 12;
#endif

Move uci(Position& pos, const char* text) {
    Move m = parse_uci_move(pos, text);
    EXPECT_NE(m, MOVE_NONE) << text;
    return m;
}

}  // namespace

TEST(MakeMove, EveryPseudoLegalMoveIsUndoneExactly) {
    walk_file("standard.epd", 1, 1000);
    walk_file("chess960.epd", 1, 1000);
    walk_file("chess960_two_rooks.epd", 1, 1000);
    walk_file("unreachable.epd", 1, 1000);
}

TEST(MakeMove, KeysStayIncrementalThreePliesDeep) {
    walk_file("standard.epd", 3, DEEP_WALK_LINES / 10);
    walk_file("chess960.epd", 3, DEEP_WALK_LINES / 10);
    walk_file("standard.epd", 2, DEEP_WALK_LINES);
    walk_file("chess960.epd", 2, DEEP_WALK_LINES);
}

TEST(MakeMove, DoublePushSetsEnPassantSquareEvenWithoutCapturer) {
    auto b = make_board(START_FEN);
    make_move(b->pos, uci(b->pos, "e2e4"));
    EXPECT_EQ(b->pos.ep_square, make_square(4, 2));
    auto same_without_ep = make_board("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -");
    EXPECT_EQ(b->pos.key ^ same_without_ep->pos.key, Keys[0][make_square(4, 2)]);
    EXPECT_EQ(b->pos.pawn_key, same_without_ep->pos.pawn_key);
    make_move(b->pos, uci(b->pos, "g8f6"));
    EXPECT_EQ(b->pos.ep_square, NO_SQUARE);
    EXPECT_EQ(b->pos.key, make_board("rnbqkb1r/pppppppp/5n2/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq -")->pos.key);
}

TEST(MakeMove, EnPassantCaptureRemovesThePawnBehind) {
    auto b = make_board("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
    const Snapshot before(b->pos);
    make_move(b->pos, uci(b->pos, "e5d6"));
    EXPECT_EQ(b->pos.board[make_square(3, 4)], 0);
    EXPECT_EQ(b->pos.board[make_square(3, 5)], make_piece(WHITE, PAWN));
    EXPECT_EQ(material_count(b->pos.material[BLACK], PAWN), 0);
    EXPECT_EQ(b->pos.pawn_key, make_board("4k3/8/3P4/8/8/8/8/4K3 b - -")->pos.pawn_key);
    EXPECT_EQ(b->hist.entries[0].captured, 0);
    unmake_move(b->pos);
    before.expect_same(b->pos, "en passant");
}

TEST(MakeMove, RightsFollowTouchedSquares) {
    auto b = make_board("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    make_move(b->pos, uci(b->pos, "h1h8"));  // captures the rook: both king-side rights go
    EXPECT_EQ(b->pos.castling, 2 | 8);
    make_move(b->pos, uci(b->pos, "e8d7"));
    make_move(b->pos, uci(b->pos, "a1a2"));
    make_move(b->pos, uci(b->pos, "d7c6"));
    make_move(b->pos, uci(b->pos, "a2a1"));  // back home, but the right stays lost
    EXPECT_EQ(b->pos.castling, 0);
    EXPECT_EQ(invariant_error(b->pos), "");
}

TEST(MakeMove, CastlingResetsRule50AndNullMoveKeepsIt) {
    auto b = make_board("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 7 20");
    make_move(b->pos, uci(b->pos, "e1g1"));
    EXPECT_EQ(b->pos.rule50, 0);
    EXPECT_EQ(b->pos.board[make_square(6, 0)], make_piece(WHITE, KING));
    EXPECT_EQ(b->pos.board[make_square(5, 0)], make_piece(WHITE, ROOK));
    EXPECT_EQ(b->pos.board[make_square(7, 0)], 0);
    EXPECT_EQ(b->pos.castling, 4 | 8);
    make_move(b->pos, uci(b->pos, "a8b8"));
    EXPECT_EQ(b->pos.rule50, 1);
    const Snapshot before(b->pos);
    make_null(b->pos);
    EXPECT_EQ(b->pos.rule50, 1);
    EXPECT_EQ(b->pos.side, BLACK);
    EXPECT_EQ(b->hist.last_move, MOVE_NONE);
    EXPECT_EQ(invariant_error(b->pos), "");
    unmake_null(b->pos);
    before.expect_same(b->pos, "null move");
}

TEST(MakeMove, NullMoveClearsEnPassantAndRestoresIt) {
    auto b = make_board("4k3/8/8/8/4P3/8/8/4K3 b - e3 0 1");
    const Snapshot before(b->pos);
    make_null(b->pos);
    EXPECT_EQ(b->pos.ep_square, NO_SQUARE);
    EXPECT_EQ(invariant_error(b->pos), "");
    unmake_null(b->pos);
    before.expect_same(b->pos, "null move with en passant");
}

TEST(MakeMove, Chess960KingAndRookExchangeSquares) {
    auto b = make_board("4k3/8/8/8/8/8/8/5KR1 w G - 0 1");
    const Snapshot before(b->pos);
    Move castle = uci(b->pos, "f1g1");
    ASSERT_TRUE(castle & FLAG_KING_SIDE);
    make_move(b->pos, castle);
    EXPECT_EQ(b->pos.board[make_square(6, 0)], make_piece(WHITE, KING));
    EXPECT_EQ(b->pos.board[make_square(5, 0)], make_piece(WHITE, ROOK));
    EXPECT_EQ(b->pos.king_sq[WHITE], make_square(6, 0));
    EXPECT_EQ(invariant_error(b->pos), "");
    unmake_move(b->pos);
    before.expect_same(b->pos, "f1/g1 castling");
}

TEST(MakeMove, PawnOnLastRankWithoutFlagBecomesQueen) {
    auto b = make_board("4k3/1P6/8/8/8/8/8/4K3 w - - 0 1");
    const Snapshot before(b->pos);
    make_move(b->pos, make_move_code(make_square(1, 6), make_square(1, 7)));
    EXPECT_EQ(b->pos.board[make_square(1, 7)], make_piece(WHITE, QUEEN));
    EXPECT_EQ(material_count(b->pos.material[WHITE], QUEEN), 1);
    EXPECT_EQ(material_count(b->pos.material[WHITE], PAWN), 0);
    EXPECT_EQ(invariant_error(b->pos), "");
    unmake_move(b->pos);
    before.expect_same(b->pos, "unflagged promotion");
}

TEST(MakeMove, Rule50SaturatesInsteadOfWrapping) {
    auto b = make_board("4k3/8/8/8/8/8/8/4K1N1 w - - 254 300");
    EXPECT_EQ(b->pos.rule50, 254);
    make_move(b->pos, uci(b->pos, "g1f3"));
    make_move(b->pos, uci(b->pos, "e8d8"));
    make_move(b->pos, uci(b->pos, "f3g1"));
    EXPECT_EQ(b->pos.rule50, 255);
    unmake_move(b->pos);
    unmake_move(b->pos);
    EXPECT_EQ(b->pos.rule50, 255);
    EXPECT_EQ(make_board("4k3/8/8/8/8/8/8/4K3 w - - 999 1")->pos.rule50, 255);
}

// A long game of knight shuffles with a pawn move now and then: the history never overflows,
// and the draw test answers what the full game record says.
TEST(MakeMove, LongGameKeepsHistoryBoundedAndRepetitionsCorrect) {
    auto b = make_board(START_FEN);
    Position& pos = b->pos;
    static const char* const white_pawns[] = {"a2a3", "b2b3", "c2c3", "d2d3", "e2e3", "g2g3", "h2h3",
                                              "a3a4", "b3b4", "c3c4", "d3d4", "e3e4", "g3g4", "h3h4"};
    static const char* const black_pawns[] = {"a7a6", "b7b6", "c7c6", "d7d6", "e7e6", "g7g6", "h7h6",
                                              "a6a5", "b6b5", "c6c5", "d6d5", "e6e5", "g6g5", "h6h5"};
    static const char* const shuffle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    std::vector<u64> game_keys{pos.key};  // keys of every position of the game
    int last_irreversible = 0;            // index in game_keys of the position after it
    int pawn_moves = 0, in_cycle = 0, max_count = 0;
    for (int ply = 0; ply < 2000; ply++) {
        const char* text;
        bool pawn = ply % 100 < 2 && pawn_moves < 28;
        if (pawn) {
            text = (ply % 2 == 0) ? white_pawns[pawn_moves / 2] : black_pawns[pawn_moves / 2];
            pawn_moves++;
        } else {
            text = shuffle[in_cycle++ % 4];
        }
        Move m = parse_uci_move(pos, text);
        ASSERT_NE(m, MOVE_NONE) << text << " at ply " << ply;
        make_game_move(pos, m);
        max_count = std::max<int>(max_count, b->hist.count);
        game_keys.push_back(pos.key);
        if (pawn) last_irreversible = int(game_keys.size()) - 1;
        int earlier = 0;
        for (int i = last_irreversible; i + 1 < int(game_keys.size()); i++) earlier += game_keys[i] == pos.key;
        bool expected = pos.rule50 >= 100 || earlier >= 2;
        ASSERT_EQ(is_draw(pos, 0), expected) << "ply " << ply;
        ASSERT_EQ(invariant_error(pos), "") << "ply " << ply;
    }
    EXPECT_LE(max_count, GAME_HISTORY_LIMIT + 1);
    EXPECT_EQ(pos.rule50, 255);
    EXPECT_EQ(pawn_moves, 28);
}
