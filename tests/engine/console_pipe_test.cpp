// The console through a pipe: lines typed ahead of a search wait for it (the editor's closing
// "." among them), "." ends a search or a
// deep perft at once, the editor takes the lines that follow it in order, self-play runs to the
// end of the game.
#include <gtest/gtest.h>

#include "engine_session.h"
#include "process_util.h"

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(ConsolePipe, LinesTypedDuringASearchRunAfterItInOrder) {
    auto r =
        run_engine({"-c", "-hash", "1"},
                   "go 8\nbd\nedit\n#\nw Ke1 Qd1\nb Ke8\n.\nbd\nev2\nperft 2\nfen 8/8/8/8/8/8/8/8 w - -\nbd\n", 60.0);
    ASSERT_FALSE(r.timed_out);
    const size_t stats = r.out.find("move= ");
    const size_t start_board = r.out.find("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 0\n", stats);
    const size_t edited = r.out.find("4k3/8/8/8/8/8/8/3QK3 b - - 0 0\n", start_board);
    const size_t perft = r.out.find("visited 63 nodes in ", edited);
    const size_t refused = r.out.find("invalid position", perft);
    ASSERT_NE(stats, std::string::npos) << r.out;
    EXPECT_NE(start_board, std::string::npos) << r.out;
    EXPECT_NE(edited, std::string::npos) << r.out;
    EXPECT_NE(perft, std::string::npos) << r.out;
    EXPECT_NE(refused, std::string::npos) << r.out;
    // The refused board leaves the edited position on display.
    EXPECT_NE(r.out.find("4k3/8/8/8/8/8/8/3QK3 b - - 0 0\n", refused), std::string::npos);
}

TEST(ConsolePipe, AClosedPipeEndsAnAnalysisWithoutDepth) {
    // Only "." ends such an analysis; once the pipe has closed none can come.
    auto r = run_engine({"-c", "-hash", "1"}, "go\nbd\n", 30.0);
    ASSERT_FALSE(r.timed_out) << r.out;
    const size_t stats = r.out.find("move= ");
    ASSERT_NE(stats, std::string::npos) << r.out;
    EXPECT_NE(r.out.find("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 0\n", stats), std::string::npos);
}

TEST(ConsolePipe, DotEndsAnalysisAndADeepPerft) {
    EngineSession e;
    ASSERT_TRUE(e.start({"-c", "-hash", "1", "-quiet"}));
    e.send("go");
    e.send("bd");
    e.wait_for("\x01", 0.3);
    e.send(".");
    EXPECT_NE(e.wait_for("move= ", 10.0), "");
    EXPECT_NE(e.wait_for("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 0", 5.0), "");
    e.send("perft 25");
    e.wait_for("\x01", 0.3);
    e.send(".");
    EXPECT_NE(e.wait_for("perft interrupted at depth 20", 10.0), "");
    EXPECT_NE(e.wait_for("visited ", 1.0), "");
    e.send("perft 3");
    EXPECT_NE(e.wait_for("visited 8902 nodes", 10.0), "");
    e.send("quit");
    EXPECT_EQ(e.wait_exit(10.0), 0);
}

TEST(ConsolePipe, SelfPlayRunsToADrawOrAMate) {
    auto r = run_engine({"-c", "-hash", "1"}, "set depth 1\nset noise 99999\nself\n", 120.0);
    ASSERT_FALSE(r.timed_out);
    const bool drawn = contains(r.out, "info string Draw!");
    const bool mated = contains(r.out, "move= null, time= ");
    EXPECT_TRUE(drawn || mated) << r.out.substr(r.out.size() > 2000 ? r.out.size() - 2000 : 0);
    EXPECT_EQ(r.exit_code, 0);
}
