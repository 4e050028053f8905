// Perft over the shared data files, each line up to the deepest depth inside the node budget.
#include <gtest/gtest.h>

#include "board/attacks.h"
#include "board/perft.h"
#include "board/validate.h"
#include "board_test_util.h"

using namespace board_test;

namespace {

void run_file(const std::vector<PerftLine>& lines, const char* name) {
    const unsigned long long budget = perft_budget();
    for (const PerftLine& pl : lines) {
        auto b = make_board(pl.fen.c_str());
        char why[80];
        ASSERT_EQ(validate_position(b->pos, why), 0) << name << ":" << pl.line << " " << why;
        const u64 key = b->pos.key;
        for (const auto& [depth, nodes] : pl.counts) {
            if (nodes > budget) break;
            EXPECT_EQ(perft(b->pos, depth), nodes) << name << ":" << pl.line << " depth " << depth << " " << pl.fen;
        }
        EXPECT_EQ(b->pos.key, key);
        EXPECT_EQ(b->hist.count, 0);
    }
}

}  // namespace

TEST(Perft, StandardPositions) {
    BOARD_LOAD_PERFT_OR_SKIP("standard.epd", lines);
    run_file(lines, "standard.epd");
}

TEST(Perft, Chess960Positions) {
    BOARD_LOAD_PERFT_OR_SKIP("chess960.epd", lines);
    run_file(lines, "chess960.epd");
}

// Pairs: a right that names one of two rooks on the same side of the king, then the same
// position without that right. The first line must keep the right.
TEST(Perft, TwoRooksOnTheCastlingSide) {
    BOARD_LOAD_PERFT_OR_SKIP("chess960_two_rooks.epd", lines);
    ASSERT_EQ(lines.size() % 2, 0u);
    run_file(lines, "chess960_two_rooks.epd");
    for (size_t i = 0; i < lines.size(); i += 2) {
        auto with_right = make_board(lines[i].fen.c_str());
        auto without = make_board(lines[i + 1].fen.c_str());
        EXPECT_NE(with_right->pos.castling, without->pos.castling) << lines[i].fen;
    }
}

TEST(Perft, UnreachablePositionsAreCountedWithoutFault) {
    BOARD_LOAD_PERFT_OR_SKIP("unreachable.epd", lines);
    run_file(lines, "unreachable.epd");
}

TEST(Perft, DivideSumsToPerftAndReportsEachLegalMove) {
    auto b = make_board("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -");
    struct Tally {
        int moves = 0;
        u64 sum = 0;
    } tally;
    u64 total = perft_divide(
        b->pos, 3,
        [](void* ctx, Move, u64 count) {
            auto* t = static_cast<Tally*>(ctx);
            t->moves++;
            t->sum += count;
        },
        &tally);
    EXPECT_EQ(total, 97862u);
    EXPECT_EQ(tally.sum, total);
    EXPECT_EQ(tally.moves, 48);
    EXPECT_EQ(perft_divide(b->pos, 1, nullptr, nullptr), 48u);
}

TEST(Perft, MatedAndStalematedSidesHaveNoMoves) {
    auto mated = make_board("rnb1kbnr/pppp1ppp/8/4p3/6Pq/5P2/PPPPP2P/RNBQKBNR w KQkq - 1 3");
    EXPECT_NE(checker_square(mated->pos), NO_SQUARE);
    EXPECT_EQ(perft(mated->pos, 1), 0u);
    EXPECT_EQ(perft(mated->pos, 3), 0u);
    auto stalemate = make_board("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
    EXPECT_EQ(checker_square(stalemate->pos), NO_SQUARE);
    EXPECT_EQ(perft(stalemate->pos, 2), 0u);
}
