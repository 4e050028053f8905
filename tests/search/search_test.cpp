// Fixed-depth searches: mates, material, special roots; search parameters, time budget and
// the strength model.
#include "search/search.h"

#include <gtest/gtest.h>

#include <cmath>

#include "board/attacks.h"
#include "board/movegen.h"
#include "board/notation.h"
#include "search/params.h"
#include "search/report.h"
#include "search/time.h"
#include "search_fixture.h"

namespace {

struct SearchTest : ::testing::Test {
    void SetUp() override { prepare_search_environment(4); }
    std::string best_move_text(int depth) {
        const Move m = search_to_depth(depth);
        char text[MOVE_TEXT] = "null";
        if (m) move_to_uci(main_thread->pos, main_thread->pos.side, m, text);
        return text;
    }
};

TEST_F(SearchTest, FindsMateInOne) {
    set_game_position("6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1");
    EXPECT_EQ(best_move_text(4), "a1a8");
    EXPECT_EQ(search_control.score, 9998);
    // The mate ends the deepening early.
    EXPECT_LT(search_control.result_depth, 4);
}

TEST_F(SearchTest, FindsMateInTwo) {
    // Queen sacrifice on the back rank, then the rook mates.
    set_game_position("r5k1/5ppp/8/8/8/8/1Q3PPP/1R4K1 w - - 0 1");
    const std::string m = best_move_text(6);
    EXPECT_EQ(m, "b2b8");
    EXPECT_EQ(search_control.score, 9996);
}

TEST_F(SearchTest, BlackMatesAndTheScoreIsFromTheMover) {
    set_game_position("1r4k1/5ppp/8/8/8/8/5PPP/6K1 b - - 0 1");
    EXPECT_EQ(best_move_text(4), "b8b1");
    EXPECT_EQ(search_control.score, 9998);
}

TEST_F(SearchTest, WinsHangingMaterial) {
    // The black queen on d4 is attacked by the knight on f3 and undefended.
    set_game_position("4k3/4p3/8/8/3q4/5N2/4P3/4K3 w - - 0 1");
    EXPECT_EQ(best_move_text(5), "f3d4");
    EXPECT_GT(search_control.score, 300);
    // A knight fork of king and queen.
    set_game_position("4k3/1q5p/8/1N6/8/8/PP6/4K3 w - - 0 1");
    EXPECT_EQ(best_move_text(6), "b5d6");
    EXPECT_GT(search_control.score, 300);
}

TEST_F(SearchTest, StalemateAndMatedRootsAnswerWithoutSearching) {
    set_game_position("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1");
    EXPECT_EQ(search_to_depth(5), 0);
    EXPECT_EQ(search_control.score, 0);
    EXPECT_EQ(search_control.result_depth, 1);
    set_game_position("6k1/5ppp/8/8/8/8/5PPP/1r4K1 w - - 0 1");
    EXPECT_EQ(search_to_depth(5), 0);
    EXPECT_EQ(search_control.score, -9999);
}

TEST_F(SearchTest, DepthZeroAnswersWithTheQuiescenceResult) {
    set_game_position("4k3/8/8/8/3q4/5N2/8/4K3 w - - 0 1");
    settings.depth_limit = 0;
    run_search_inline();
    search_control.search_state = 0;
    char text[MOVE_TEXT] = "";
    move_to_uci(main_thread->pos, WHITE, search_control.pv[1], text);
    EXPECT_STREQ(text, "f3d4");
}

TEST_F(SearchTest, SameSearchTwiceGivesTheSameTree) {
    set_game_position("r1bqkb1r/pp1ppppp/2n2n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R b KQkq - 0 1");
    tt_clear(1);
    const Move first = search_to_depth(7);
    const u64 nodes = thread_table[0]->counters[CNT_NODES];
    tt_clear(1);
    const Move second = search_to_depth(7);
    EXPECT_EQ(first, second);
    EXPECT_EQ(nodes, thread_table[0]->counters[CNT_NODES]);
}

TEST_F(SearchTest, NodeLimitEndsTheSearch) {
    set_game_position(START_FEN);
    settings.node_limit = 20000;
    search_to_depth(80);
    settings.node_limit = 0;
    const u64 nodes = thread_table[0]->counters[CNT_NODES];
    EXPECT_GT(nodes, 20000u);
    EXPECT_LT(nodes, 40000u);
    EXPECT_NE(search_control.pv[1], 0);
}

TEST_F(SearchTest, LongGamesKeepTheRequestedDepth) {
    // The history holds the game and the deepest search line at any game length.
    set_game_position(START_FEN);
    search_control.game_plies = 878;
    search_to_depth(9);
    EXPECT_EQ(search_control.result_depth, 9);
}

TEST_F(SearchTest, EvasionsAreNeverPrunedLate) {
    // White is in check along the e-file and has ten quiet ways out: at a shallow cut node all
    // of them are searched, none skipped by late-move pruning.
    set_game_position("4q1k1/8/8/Q7/1B6/2N4R/R7/4K3 w - - 0 1");
    search_control.search_state = SEARCH_BENCH;
    search_start();
    ASSERT_EQ(thread_init(0), 0);
    SearchThread& t = *thread_table[0];
    t.stack[1].tb_result = -1;
    Move pv[PV_LENGTH + 1] = {};
    search(t, WHITE, 2, 1, 9000, 9001, NODE_CUT, pv);
    search_control.search_state = 0;
    MoveEntry list[MAX_MOVES];
    const int n = gen_all_moves(t.pos, list);
    int legal = 0;
    for (int i = 0; i < n; i++) legal += is_legal(t.pos, WHITE, list[i].move);
    EXPECT_EQ(legal, 10);
    EXPECT_EQ(t.stack[2].move_count, legal);
}

TEST_F(SearchTest, MateScoresPrintInMoves) {
    char text[32];
    format_score(9998, text, sizeof text);
    EXPECT_STREQ(text, "mate 1");
    format_score(9995, text, sizeof text);
    EXPECT_STREQ(text, "mate 3");
    format_score(-9997, text, sizeof text);  // mated at ply 3: one move each
    EXPECT_STREQ(text, "mate -1");
    format_score(-9995, text, sizeof text);
    EXPECT_STREQ(text, "mate -2");
    format_score(-9900, text, sizeof text);
    EXPECT_STREQ(text, "cp -9900");
    format_score(150, text, sizeof text);
    EXPECT_STREQ(text, "cp 150");
}

TEST(SearchParamsTest, TablesFollowSelectivity) {
    prepare_search_environment(1);
    build_search_params();
    const SearchParams& p = search_params;
    EXPECT_EQ(p.FP_margin[0], 50);
    EXPECT_EQ(p.FP_margin[4], 410);
    EXPECT_EQ(p.FP_margin[5], 1500);
    EXPECT_EQ(p.SEP_margin[3], 180);
    EXPECT_EQ(p.SEP_margin[4], 1500);
    const int pv_d8[6] = {0, 0, 1, 1, 2, 3};
    const int nonpv_d20[6] = {2, 2, 3, 4, 5, 5};
    const int ns[6] = {1, 2, 4, 8, 16, 30};
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(p.LMR_PV[8][ns[i]], pv_d8[i]) << ns[i];
        EXPECT_EQ(p.LMR_NONPV[20][ns[i]], nonpv_d20[i]) << ns[i];
    }
    settings.selectivity = 0;
    build_search_params();
    EXPECT_EQ(search_params.fp_unit, 192);
    EXPECT_EQ(search_params.sep_unit, 128);
    settings.selectivity = 200;
    build_search_params();
    EXPECT_EQ(search_params.fp_unit, 54);
    // Depths past the margin tables are limited to them.
    settings.FP_depth = 40;
    settings.SEP_depth = 99;
    build_search_params();
    EXPECT_EQ(search_params.FP_depth, MARGIN_SIZE - 1);
    EXPECT_EQ(search_params.SEP_depth, MARGIN_SIZE - 1);
}

TEST(TimeTest, BudgetFromTheClock) {
    prepare_search_environment(1);
    set_game_position(START_FEN);
    settings.tc_moves = 0;
    settings.ponder = 0;
    settings.move_overhead = 50;
    search_control.clock[WHITE] = 60.0f;
    search_control.search_state = SEARCH_THINKING;
    search_start();
    EXPECT_NEAR(search_control.target_time, 60.0 / 29, 0.01);
    search_control.clock[WHITE] = 10.0f;
    settings.increment = 1.0f;
    clock_check();
    EXPECT_NEAR(search_control.target_time, 10.0 / 29 + 10.0 / 12, 0.01);
    search_control.search_state = 0;
    settings.increment = 0;
}

TEST(StrengthTest, EloModelAndItsInverse) {
    EXPECT_NEAR(elo_from_nps(1000000), 2373.1, 0.5);
    EXPECT_NEAR(elo_from_nps(10000), 1732.8, 0.5);
    // The speeds the measured levels ask for (within 1 %).
    EXPECT_NEAR(nps_for_elo(1600), 2413, 24);
    EXPECT_NEAR(nps_for_elo(2000), 90950, 910);
    EXPECT_NEAR(elo_from_nps(nps_for_elo(2400)), 2400, 0.5);
    // Out of reach: the bisection ends at the nearer end (the model spans about 1373..2813).
    EXPECT_NEAR(nps_for_elo(1350), 10.0, 0.01);
    EXPECT_NEAR(nps_for_elo(3000), 10000000.0, 1.0);
}

// The bisection needs a model that rises over its whole interval: a refit whose lowest point
// lies above 10 nps would send low ratings to the wrong end.
TEST(StrengthTest, EloModelRisesOverTheBisectionInterval) {
    double previous = elo_from_nps(10.0);
    for (double nps = 10.5; nps <= 10000000.0; nps *= 1.05) {
        const double e = elo_from_nps(nps);
        ASSERT_GT(e, previous) << nps;
        previous = e;
    }
}

}  // namespace
