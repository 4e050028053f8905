// The forms of "go" over the protocol: depth 0, no limits at all, searchmoves, mate N, many
// MultiPV lines, the WDL figures, and the short bench.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "engine_session.h"
#include "process_util.h"

namespace {

// The value after `key` in an info line, or "" when the key is missing.
std::string field(const std::string& line, const std::string& key) {
    const size_t p = line.find(" " + key + " ");
    if (p == std::string::npos) return "";
    const size_t start = p + key.size() + 2;
    return line.substr(start, line.find(' ', start) - start);
}

std::vector<std::string> info_lines(const std::string& out) {
    std::vector<std::string> lines;
    for (auto& l : split_lines(out))
        if (l.rfind("info ", 0) == 0 && l.find(" score ") != std::string::npos) lines.push_back(l);
    return lines;
}

const char* const MATE_IN_ONE = "position fen 7k/8/6K1/8/8/8/8/R7 w - - 0 1";

TEST(UciGo, DepthZeroAnswersFromTheQuiescenceSearch) {
    EngineSession e;
    ASSERT_TRUE(e.start());
    // The knight takes the hanging queen; no iteration runs, so no info line is printed.
    e.send("position fen 4k3/8/8/8/3q4/5N2/8/4K3 w - - 0 1\ngo depth 0");
    EXPECT_EQ(e.wait_for("bestmove", 5), "bestmove f3d4");
    EXPECT_TRUE(info_lines(e.all).empty()) << e.all;
    e.send("quit");
    EXPECT_EQ(e.wait_exit(5), 0);
}

TEST(UciGo, DepthOneReportsTheNodesItVisited) {
    EngineSession e;
    ASSERT_TRUE(e.start());
    for (const char* threads : {"1", "2"}) {
        e.send(std::string("setoption name Threads value ") + threads + "\nposition startpos\ngo depth 1");
        ASSERT_FALSE(e.wait_for("bestmove", 5).empty());
        const std::vector<std::string> lines = info_lines(e.all);
        ASSERT_FALSE(lines.empty()) << e.all;
        EXPECT_EQ(field(lines.back(), "depth"), "1");
        EXPECT_GT(std::atoll(field(lines.back(), "nodes").c_str()), 19) << lines.back();
        e.all.clear();
    }
    e.send("quit");
    EXPECT_EQ(e.wait_exit(5), 0);
}

TEST(UciGo, GoWithoutLimitsAnalysesUntilStop) {
    EngineSession e;
    ASSERT_TRUE(e.start());
    // An earlier fixed-depth search leaves no clock behind that a plain "go" would play by,
    // and a plain "go" holds its answer like "go infinite", even with a mate found at once.
    e.send(std::string(MATE_IN_ONE) + "\ngo depth 2");
    EXPECT_EQ(e.wait_for("bestmove", 5), "bestmove a1a8");
    e.send("go");
    EXPECT_TRUE(e.wait_for("bestmove", 0.5).empty());
    e.send("stop");
    EXPECT_EQ(e.wait_for("bestmove", 2), "bestmove a1a8");
    // A fresh position and a plain "go": still searching after half a second.
    e.send("position startpos\ngo");
    EXPECT_TRUE(e.wait_for("bestmove", 0.5).empty());
    e.send("stop");
    EXPECT_FALSE(e.wait_for("bestmove", 2).empty());
    e.send("quit");
    EXPECT_EQ(e.wait_exit(5), 0);
}

TEST(UciGo, SearchmovesLimitsTheRoot) {
    EngineSession e;
    ASSERT_TRUE(e.start());
    e.send("position startpos\ngo depth 6 searchmoves a2a3 h2h3 e2e5");
    const std::string best = e.wait_for("bestmove", 10);
    EXPECT_TRUE(best.rfind("bestmove a2a3", 0) == 0 || best.rfind("bestmove h2h3", 0) == 0) << best;
    EXPECT_NE(e.all.find("info string searchmoves: e2e5 is not a legal move here"), std::string::npos);
    for (auto& l : info_lines(e.all)) {
        const std::string first = field(l, "pv");
        EXPECT_TRUE(first == "a2a3" || first == "h2h3") << l;
    }
    // Keywords after the list end it; the next "go" searches every move again. The mate in
    // one is the only winning move, and it is outside the list.
    e.all.clear();
    e.send(std::string(MATE_IN_ONE) + "\ngo searchmoves g6f6 g6h6 depth 3");
    const std::string limited = e.wait_for("bestmove", 5);
    EXPECT_TRUE(limited.rfind("bestmove g6f6", 0) == 0 || limited.rfind("bestmove g6h6", 0) == 0) << limited;
    e.send("go depth 3");
    EXPECT_EQ(e.wait_for("bestmove", 5), "bestmove a1a8");
    // A list without a legal move is reported and ignored.
    e.send("go depth 3 searchmoves a1a1");
    EXPECT_FALSE(e.wait_for("info string searchmoves names no legal move", 5).empty());
    EXPECT_EQ(e.wait_for("bestmove", 5), "bestmove a1a8");
    e.send("quit");
    EXPECT_EQ(e.wait_exit(5), 0);
}

TEST(UciGo, MateSearchEndsOnceTheMateIsProven) {
    EngineSession e;
    ASSERT_TRUE(e.start());
    struct Case {
        const char* fen;
        const char* best;
        int moves;
    };
    const Case cases[] = {
        {"2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1", "g3g6", 2},
        {"r3q1kr/ppp5/3p2pQ/8/3PP1b1/5R2/PPP3P1/5RK1 w - - 0 1", "f3f8", 3},
    };
    for (const Case& c : cases) {
        e.all.clear();
        e.send(std::string("position fen ") + c.fen + "\ngo mate " + std::to_string(c.moves));
        // No "stop" is sent: the search ends by itself.
        const std::string best = e.wait_for("bestmove", 30);
        EXPECT_EQ(best.substr(0, 13), std::string("bestmove ") + c.best) << c.fen;
        const auto lines = info_lines(e.all);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(field(lines.back(), "score"), "mate") << lines.back();
        EXPECT_NE(lines.back().find("score mate " + std::to_string(c.moves) + " "), std::string::npos) << lines.back();
    }
    e.send("quit");
    EXPECT_EQ(e.wait_exit(5), 0);
}

TEST(UciGo, FortyLinesOfMultiPv) {
    EngineSession e;
    ASSERT_TRUE(e.start());
    // 48 legal moves: every one of the 40 lines requested is searched and reported.
    e.send(
        "setoption name MultiPV value 40\n"
        "position fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1\ngo depth 3");
    ASSERT_FALSE(e.wait_for("bestmove", 20).empty());
    for (int line : {1, 32, 33, 40}) {
        EXPECT_NE(e.all.find("info multipv " + std::to_string(line) + " depth 3 "), std::string::npos) << line;
    }
    EXPECT_EQ(e.all.find("info multipv 41 "), std::string::npos);
    e.send("quit");
    EXPECT_EQ(e.wait_exit(5), 0);
}

TEST(UciGo, WdlFiguresOnlyWhenAskedFor) {
    EngineSession e;
    ASSERT_TRUE(e.start());
    e.send("position startpos\ngo depth 5");
    ASSERT_FALSE(e.wait_for("bestmove", 10).empty());
    for (auto& l : info_lines(e.all)) EXPECT_EQ(l.find(" wdl "), std::string::npos) << l;
    e.all.clear();
    e.send("setoption name UCI_ShowWDL value true\ngo depth 5");
    ASSERT_FALSE(e.wait_for("bestmove", 10).empty());
    auto lines = info_lines(e.all);
    ASSERT_FALSE(lines.empty());
    const std::regex wdl(" score (cp|mate) -?[0-9]+ wdl ([0-9]+) ([0-9]+) ([0-9]+) time ");
    for (auto& l : lines) {
        // Permille right behind the score, summing to 1000; a balanced start is mostly open.
        std::smatch m;
        ASSERT_TRUE(std::regex_search(l, m, wdl)) << l;
        const int w = std::stoi(m[2]), d = std::stoi(m[3]), loss = std::stoi(m[4]);
        EXPECT_EQ(w + d + loss, 1000) << l;
        EXPECT_GT(w, 100) << l;
        EXPECT_GT(loss, 100) << l;
    }
    // A mate is a certain win.
    e.all.clear();
    e.send(std::string(MATE_IN_ONE) + "\ngo depth 3");
    ASSERT_FALSE(e.wait_for("bestmove", 5).empty());
    EXPECT_NE(e.all.find("score mate 1 wdl 1000 0 0 "), std::string::npos) << e.all;
    e.send("quit");
    EXPECT_EQ(e.wait_exit(5), 0);
}

TEST(UciGo, ShortBenchPrintsNodesAndSpeedAndKeepsTheGame) {
    auto a = run_engine({"bench", "6"}, "", 60);
    auto b = run_engine({}, "position startpos moves e2e4\nbench 6\ngo depth 1\nquit\n", 60);
    auto nodes_of = [](const std::string& out) {
        std::string nodes;
        for (auto& l : split_lines(out)) {
            const size_t p = l.find(" nodes");
            if (p != std::string::npos && p + 6 == l.size()) nodes = l.substr(0, p);
        }
        return nodes;
    };
    EXPECT_EQ(a.exit_code, 0);
    const std::string nodes = nodes_of(a.out);
    ASSERT_FALSE(nodes.empty()) << a.out;
    EXPECT_GT(std::atoll(nodes.c_str()), 10000);
    // Its last two lines are the node count and the speed, as testing frameworks read them.
    auto lines = split_lines(a.out);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], nodes + " nodes");
    EXPECT_NE(lines.back().find(" nps"), std::string::npos);
    // The UCI command counts the same nodes, and the game position survives it: Black moves.
    EXPECT_EQ(nodes_of(b.out), nodes);
    std::string best;
    for (auto& l : split_lines(b.out))
        if (l.rfind("bestmove", 0) == 0) best = l;
    ASSERT_GE(best.size(), 13u) << b.out;
    EXPECT_TRUE(best[10] == '7' || best[10] == '8') << best;
}

}  // namespace
