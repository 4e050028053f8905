// The search over the UCI protocol: answers during a search, pondering, reproducible fixed
// searches, unexpected commands and end of input while searching.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine_session.h"
#include "process_util.h"

namespace {

std::string nodes_of_last_info(const std::string& out) {
    std::string last;
    for (auto& l : split_lines(out))
        if (l.rfind("info depth", 0) == 0 && l.find(" pv ") != std::string::npos) last = l;
    size_t p = last.find(" nodes ");
    if (p == std::string::npos) return "";
    return last.substr(p + 7, last.find(' ', p + 7) - p - 7);
}

TEST(UciSearch, FixedNodeSearchIsReproducible) {
    const std::string input =
        "setoption name Threads value 1\nucinewgame\nposition startpos moves e2e4 c7c5\ngo nodes 30000\n";
    EngineSession a, b;
    ASSERT_TRUE(a.start());
    ASSERT_TRUE(b.start());
    a.send(input);
    b.send(input);
    std::string best_a = a.wait_for("bestmove", 20);
    std::string best_b = b.wait_for("bestmove", 20);
    ASSERT_FALSE(best_a.empty());
    EXPECT_EQ(best_a, best_b);
    EXPECT_EQ(nodes_of_last_info(a.all), nodes_of_last_info(b.all));
    EXPECT_FALSE(nodes_of_last_info(a.all).empty());
    // The same search again after "ucinewgame" in one process.
    a.all.clear();
    a.send(input);
    EXPECT_EQ(a.wait_for("bestmove", 20), best_a);
    EXPECT_EQ(nodes_of_last_info(a.all), nodes_of_last_info(b.all));
    a.send("quit");
    b.send("quit");
    EXPECT_EQ(a.wait_exit(5), 0);
}

TEST(UciSearch, IsreadyAndStopAnswerQuicklyDuringInfiniteSearch) {
    EngineSession e;
    ASSERT_TRUE(e.start());
    e.send("isready");
    ASSERT_FALSE(e.wait_for("readyok", 10).empty());
    e.send("position startpos\ngo infinite");
    ASSERT_FALSE(e.wait_for("info depth", 10).empty());
    // The engine answers within milliseconds; the bound leaves room for a loaded CI machine
    // and sanitizer builds while still catching a reader that waits for the search.
    auto t0 = std::chrono::steady_clock::now();
    e.send("isready");
    ASSERT_FALSE(e.wait_for("readyok", 2).empty());
    EXPECT_LT(seconds_since(t0), 0.4);
    t0 = std::chrono::steady_clock::now();
    e.send("stop");
    std::string best = e.wait_for("bestmove", 2);
    ASSERT_FALSE(best.empty());
    EXPECT_LT(seconds_since(t0), 0.4);
    EXPECT_NE(best, "bestmove 0000");
    e.send("quit");
    EXPECT_EQ(e.wait_exit(5), 0);
}

TEST(UciSearch, PonderhitTurnsThePonderSearchIntoANormalOne) {
    EngineSession e;
    ASSERT_TRUE(e.start());
    e.send("position startpos moves e2e4\ngo ponder wtime 2000 btime 2000");
    ASSERT_FALSE(e.wait_for("info depth", 10).empty());
    // While pondering no answer comes, however long it takes.
    EXPECT_TRUE(e.wait_for("bestmove", 0.3).empty());
    e.send("ponderhit");
    std::string best = e.wait_for("bestmove", 5);
    ASSERT_FALSE(best.empty());
    EXPECT_NE(best.find(" ponder "), std::string::npos);
    e.send("quit");
    EXPECT_EQ(e.wait_exit(5), 0);
}

TEST(UciSearch, StopEndsAPonderSearch) {
    EngineSession e;
    ASSERT_TRUE(e.start());
    e.send("position startpos\ngo ponder wtime 100000 btime 100000");
    ASSERT_FALSE(e.wait_for("info depth", 10).empty());
    e.send("stop");
    std::string best = e.wait_for("bestmove", 2);
    EXPECT_FALSE(best.empty());
    EXPECT_NE(best, "bestmove 0000");
    e.send("quit");
    EXPECT_EQ(e.wait_exit(5), 0);
}

TEST(UciSearch, FinishedPonderSearchHoldsItsAnswer) {
    EngineSession e;
    ASSERT_TRUE(e.start());
    // The timings below start once the engine is ready (start-up is slow under sanitizers).
    e.send("isready");
    ASSERT_FALSE(e.wait_for("readyok", 30).empty());
    // Mate in one: the search ends at once but must wait for the opponent's move.
    e.send("position fen 7k/8/6K1/8/8/8/8/R7 w - - 0 1\ngo ponder wtime 1000 btime 1000");
    EXPECT_TRUE(e.wait_for("bestmove", 0.5).empty());
    e.send("ponderhit");
    EXPECT_EQ(e.wait_for("bestmove", 2), "bestmove a1a8");
    e.send("position fen 7k/8/6K1/8/8/8/8/R7 w - - 0 1\ngo ponder wtime 1000 btime 1000");
    EXPECT_TRUE(e.wait_for("bestmove", 0.3).empty());
    e.send("stop");
    EXPECT_EQ(e.wait_for("bestmove", 2), "bestmove a1a8");
    // Infinite analysis answers only on "stop", even when the mate is found at once.
    e.send("go infinite");
    EXPECT_TRUE(e.wait_for("bestmove", 0.3).empty());
    e.send("stop");
    EXPECT_EQ(e.wait_for("bestmove", 2), "bestmove a1a8");
    e.send("quit");
    EXPECT_EQ(e.wait_exit(5), 0);
}

TEST(UciSearch, CommandsDuringASearchStopItAndThenRun) {
    EngineSession e;
    ASSERT_TRUE(e.start());
    e.send("position startpos\ngo infinite");
    ASSERT_FALSE(e.wait_for("info depth", 10).empty());
    e.send("position startpos moves e2e4");
    EXPECT_FALSE(e.wait_for("info string unexpected command position", 2).empty());
    EXPECT_FALSE(e.wait_for("bestmove", 2).empty());
    // The deferred "position" took effect: Black is to move now.
    e.send("go depth 3");
    std::string best = e.wait_for("bestmove", 5);
    ASSERT_GE(best.size(), 13u);
    const char rank = best[10];
    EXPECT_TRUE(rank == '7' || rank == '8') << best;
    e.send("go infinite");
    ASSERT_FALSE(e.wait_for("info depth", 10).empty());
    e.send("go depth 2");
    EXPECT_FALSE(e.wait_for("bestmove", 2).empty());
    EXPECT_FALSE(e.wait_for("bestmove", 5).empty());  // the deferred "go"
    e.send("quit");
    EXPECT_EQ(e.wait_exit(5), 0);
}

TEST(UciSearch, ClosedInputDuringASearchEndsTheProcess) {
    EngineSession e;
    ASSERT_TRUE(e.start());
    e.send("position startpos\ngo infinite");
    ASSERT_FALSE(e.wait_for("info depth", 10).empty());
    e.close_input();
    EXPECT_EQ(e.wait_exit(3), 0);
}

TEST(UciSearch, MateScoresInTheInfoLines) {
    EngineSession e;
    ASSERT_TRUE(e.start());
    e.send("position fen 7k/8/6K1/8/8/8/8/R7 w - - 0 1\ngo depth 3");
    EXPECT_EQ(e.wait_for("bestmove", 10), "bestmove a1a8");
    EXPECT_NE(e.all.find("score mate 1 "), std::string::npos);
    // Black's only move walks into Ra8 mate: mated in one move, counted as UCI does.
    e.all.clear();
    e.send("position fen 7k/8/6K1/8/8/8/8/R7 b - - 0 1\ngo depth 4");
    EXPECT_EQ(e.wait_for("bestmove", 10), "bestmove h8g8 ponder a1a8");
    EXPECT_NE(e.all.find("score mate -1 "), std::string::npos);
    e.send("quit");
    EXPECT_EQ(e.wait_exit(5), 0);
}

TEST(UciSearch, ScoresOutsideTheWindowAreMarkedAsBounds) {
    EngineSession e;
    ASSERT_TRUE(e.start());
    // The queen sacrifice fails high through the aspiration window before it is resolved: such
    // lines say "lowerbound", and every exact mate score comes with the whole mating line.
    e.send("position fen 2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1\ngo depth 4");
    ASSERT_FALSE(e.wait_for("bestmove", 10).empty());
    int bounds = 0, exact_mates = 0;
    for (auto& l : split_lines(e.all)) {
        if (l.rfind("info depth", 0) != 0) continue;
        if (l.find(" lowerbound ") != std::string::npos || l.find(" upperbound ") != std::string::npos) {
            bounds++;
            continue;
        }
        const size_t m = l.find(" score mate ");
        if (m == std::string::npos) continue;
        exact_mates++;
        const int moves = std::stoi(l.substr(m + 12));
        const std::string pv = l.substr(l.find(" pv ") + 4);
        const int plies = int(std::count(pv.begin(), pv.end(), ' ')) + 1;
        EXPECT_EQ(plies, 2 * moves - 1) << l;
    }
    EXPECT_GT(bounds, 0);
    EXPECT_GT(exact_mates, 0);
    e.send("quit");
    EXPECT_EQ(e.wait_exit(5), 0);
}

TEST(UciSearch, MultiPvDeepensOnTheFirstLinesScore) {
    EngineSession e;
    ASSERT_TRUE(e.start());
    // Black is fine, but its eighth-best move walks into a back-rank mate: that line's score
    // must neither end the deepening nor centre the next window.
    e.send("setoption name MultiPV value 8\nposition fen 6k1/5ppp/8/8/8/8/5PPP/3R2K1 b - - 0 1\ngo depth 7");
    ASSERT_FALSE(e.wait_for("bestmove", 20).empty());
    EXPECT_NE(e.all.find("info multipv 1 depth 7 "), std::string::npos) << e.all;
    EXPECT_NE(e.all.find("info multipv 8 depth 7 "), std::string::npos);
    e.send("quit");
    EXPECT_EQ(e.wait_exit(5), 0);
}

TEST(UciSearch, NodeCountsStartFromZeroWithTwoThreads) {
    EngineSession e;
    ASSERT_TRUE(e.start());
    e.send("setoption name Threads value 2\nposition startpos\ngo depth 11");
    ASSERT_FALSE(e.wait_for("bestmove", 30).empty());
    // The mate in two is found within a few hundred nodes; a worker's count from the search
    // before must not show up in its lines.
    for (int round = 0; round < 3; round++) {
        e.all.clear();
        e.send("position fen r5k1/5ppp/8/8/8/8/1Q3PPP/1R4K1 w - - 0 1\ngo depth 4");
        ASSERT_FALSE(e.wait_for("bestmove", 10).empty());
        for (auto& l : split_lines(e.all)) {
            const size_t p = l.find(" nodes ");
            if (l.rfind("info depth", 0) != 0 || p == std::string::npos) continue;
            EXPECT_LT(std::stoll(l.substr(p + 7)), 20000) << l;
        }
        e.send("position startpos\ngo depth 10");
        ASSERT_FALSE(e.wait_for("bestmove", 30).empty());
    }
    e.send("quit");
    EXPECT_EQ(e.wait_exit(5), 0);
}

TEST(UciSearch, NoiseHoldsLinesBackButAStoppedSearchReports) {
    EngineSession e;
    ASSERT_TRUE(e.start({"-noise", "5"}));
    // Ended by the clock inside the quiet period: the final line is still printed.
    e.send("position startpos\ngo movetime 300");
    ASSERT_FALSE(e.wait_for("bestmove", 5).empty());
    EXPECT_NE(e.all.find("info depth"), std::string::npos) << e.all;
    // Ended by itself (its depth limit) inside the quiet period: nothing is printed.
    e.all.clear();
    e.send("go depth 3");
    ASSERT_FALSE(e.wait_for("bestmove", 5).empty());
    EXPECT_EQ(e.all.find("info depth"), std::string::npos) << e.all;
    e.send("quit");
    EXPECT_EQ(e.wait_exit(5), 0);
}

TEST(UciSearch, RootMovesIntoMissingTablesAreKept) {
    const std::string shared = std::string(VELLUM_SHARED_DIR) + "/testdata/syzygy";
    if (!std::filesystem::exists(shared + "/KRPvK.rtbw")) GTEST_SKIP() << "no Syzygy test data";
    char dir[] = "/tmp/vellum_tb_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    // KRPvK and what Black's captures lead to, but no table for any promotion.
    for (const char* table : {"KRPvK", "KRvK", "KPvK"})
        for (const char* ext : {".rtbw", ".rtbz"})
            std::filesystem::copy_file(shared + "/" + table + ext, std::string(dir) + "/" + table + ext);
    EngineSession e;
    ASSERT_TRUE(e.start());
    e.send(std::string("setoption name SyzygyPath value ") + dir);
    e.send("position fen 8/1P6/8/8/4k3/8/8/K6R w - - 0 1\ngo depth 4");
    const std::string tb = e.wait_for("info string TB result is", 10);
    EXPECT_NE(tb.find("WIN"), std::string::npos) << tb;
    // The four promotions cannot be probed, and stay.
    EXPECT_NE(tb.find(": b7b8 b7b8 b7b8 b7b8 "), std::string::npos) << tb;
    EXPECT_NE(tb.find(" h1h8 "), std::string::npos) << tb;
    EXPECT_FALSE(e.wait_for("bestmove", 10).empty());
    e.send("quit");
    EXPECT_EQ(e.wait_exit(5), 0);
    std::filesystem::remove_all(dir);
}

TEST(UciSearch, BenchAtLowDepthIsReproducible) {
    auto a = run_engine({"-d", "6", "-bench"}, "", 60);
    auto b = run_engine({"-d", "6", "-bench"}, "", 60);
    auto lines = split_lines(a.out);
    int pos_lines = 0;
    std::string total_a, total_b;
    for (auto& l : lines) {
        pos_lines += l.rfind("pos ", 0) == 0;
        if (l.rfind("total time", 0) == 0) total_a = l.substr(l.find("nodes="));
    }
    for (auto& l : split_lines(b.out))
        if (l.rfind("total time", 0) == 0) total_b = l.substr(l.find("nodes="));
    EXPECT_EQ(pos_lines, 20);
    ASSERT_FALSE(total_a.empty());
    EXPECT_EQ(total_a.substr(0, total_a.find(',')), total_b.substr(0, total_b.find(',')));
    EXPECT_NE(a.out.find("running benchmark using 1 threads"), std::string::npos);
}

}  // namespace
