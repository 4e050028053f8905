// Lazy parallel search: several threads searching in the background share the table and end
// together; the counters include every thread that completed depth 2.
#include <gtest/gtest.h>

#include "board/notation.h"
#include "platform/platform.h"
#include "search_fixture.h"

namespace {

TEST(SearchThreads, TwoThreadsSearchInTheBackgroundAndStopTogether) {
    prepare_search_environment(4);
    set_game_position("r1bqkb1r/pp1ppppp/2n2n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R b KQkq - 0 1");
    settings.threads = 2;
    settings.depth_limit = 9;
    run_search(SEARCH_THINKING, true);
    EXPECT_TRUE(search_control.search_state.load() & SEARCH_FINISHED);
    search_control.search_state = 0;
    ASSERT_NE(search_control.pv[1], 0);
    EXPECT_EQ(tt_move_code(main_thread->pos, search_control.pv[1]), 0);
    ASSERT_NE(thread_table[1], nullptr);
    EXPECT_GT(thread_table[1]->counters[CNT_NODES], 0u);
    EXPECT_GE(search_control.result_depth, 9);
    settings.threads = 1;
}

TEST(SearchThreads, StopFromOutsideEndsABackgroundSearch) {
    prepare_search_environment(4);
    set_game_position(START_FEN);
    settings.threads = 2;
    settings.depth_limit = 80;
    settings.tc_time = 0.2f;  // a fixed budget checked by the waiting loop
    const double start = platform::now_seconds();
    run_search(SEARCH_THINKING, true);
    const double took = platform::now_seconds() - start;
    search_control.search_state = 0;
    EXPECT_LT(took, 1.5);
    EXPECT_GE(took, 0.19);
    EXPECT_NE(search_control.pv[1], 0);
    settings.threads = 1;
}

}  // namespace
