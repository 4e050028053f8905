// Long protocol checks: the full benchmark twice, and a multi-threaded game-like sequence.
#include <gtest/gtest.h>

#include "engine_session.h"
#include "process_util.h"

namespace {

std::string bench_nodes(const std::string& out) {
    for (auto& l : split_lines(out))
        if (l.rfind("total time", 0) == 0) {
            std::string rest = l.substr(l.find("nodes="));
            return rest.substr(0, rest.find(','));
        }
    return "";
}

TEST(UciSearchSlow, FullBenchNodeTotalIsReproducible) {
    auto a = run_engine({"-bench"}, "", 300);
    auto b = run_engine({"-bench"}, "", 300);
    ASSERT_FALSE(a.timed_out);
    ASSERT_FALSE(bench_nodes(a.out).empty());
    EXPECT_EQ(bench_nodes(a.out), bench_nodes(b.out));
    EXPECT_EQ(a.exit_code, 0);
}

TEST(UciSearchSlow, FourThreadsPlayAShortGame) {
    EngineSession e;
    ASSERT_TRUE(e.start());
    e.send("setoption name Threads value 4\nsetoption name Hash value 16\nucinewgame");
    std::string moves;
    for (int ply = 0; ply < 16; ply++) {
        e.send("position startpos" + (moves.empty() ? "" : " moves" + moves));
        e.send("go wtime 3000 btime 3000 winc 50 binc 50");
        std::string best = e.wait_for("bestmove", 10);
        ASSERT_FALSE(best.empty()) << "ply " << ply;
        std::string move = best.substr(9, best.find(' ', 9) - 9);
        ASSERT_NE(move, "0000");
        moves += " " + move;
    }
    e.send("isready");
    EXPECT_FALSE(e.wait_for("readyok", 5).empty());
    EXPECT_EQ(e.all.find("illegal move"), std::string::npos);
    EXPECT_EQ(e.all.find("illegal hash move"), std::string::npos);
    e.send("quit");
    EXPECT_EQ(e.wait_exit(5), 0);
}

TEST(UciSearchSlow, MultiPvReportsEveryLine) {
    EngineSession e;
    ASSERT_TRUE(e.start());
    e.send("setoption name MultiPV value 3\nposition startpos\ngo depth 7");
    ASSERT_FALSE(e.wait_for("bestmove", 30).empty());
    EXPECT_NE(e.all.find("info multipv 1 depth 7"), std::string::npos);
    EXPECT_NE(e.all.find("info multipv 2 depth 7"), std::string::npos);
    EXPECT_NE(e.all.find("info multipv 3 depth 7"), std::string::npos);
    e.send("quit");
    EXPECT_EQ(e.wait_exit(5), 0);
}

}  // namespace
