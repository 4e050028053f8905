// Perft over the shared data files at every depth they list (about 3.7e9 nodes in all).
#include <gtest/gtest.h>

#include "board/perft.h"
#include "board/validate.h"
#include "board_test_util.h"

using namespace board_test;

namespace {

void run_file_fully(const char* name) {
    std::vector<PerftLine> lines;
    if (!read_perft_file(name, lines)) GTEST_SKIP() << "perft data " << shared_perft_path(name) << " not found";
    for (const PerftLine& pl : lines) {
        auto b = make_board(pl.fen.c_str());
        char why[80];
        ASSERT_EQ(validate_position(b->pos, why), 0) << name << ":" << pl.line << " " << why;
        for (const auto& [depth, nodes] : pl.counts)
            EXPECT_EQ(perft(b->pos, depth), nodes) << name << ":" << pl.line << " depth " << depth << " " << pl.fen;
    }
}

}  // namespace

TEST(PerftFull, Standard) { run_file_fully("standard.epd"); }
TEST(PerftFull, Chess960) { run_file_fully("chess960.epd"); }
TEST(PerftFull, TwoRooksOnTheCastlingSide) { run_file_fully("chess960_two_rooks.epd"); }
TEST(PerftFull, Unreachable) { run_file_fully("unreachable.epd"); }
