// End-to-end protocol tests: the engine binary driven over its standard input.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "process_util.h"

namespace {

std::vector<std::string> lines_from(const std::string& out, const std::string& first) {
    auto lines = split_lines(out);
    for (size_t i = 0; i < lines.size(); i++)
        if (lines[i] == first) return std::vector<std::string>(lines.begin() + long(i), lines.end());
    return {};
}

std::string board_fen(const std::string& out) {
    // The diagram's first line is the FEN with counters; it follows the "d" command's output.
    for (auto& l : split_lines(out))
        if (l.find('/') != std::string::npos && l.find(' ') != std::string::npos &&
            l.rfind("info", 0) != 0)
            return l;
    return "";
}

}  // namespace

TEST(UciPipe, StartupLineAndHandshake) {
    auto r = run_engine({}, "uci\nquit\n");
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0);
    auto lines = split_lines(r.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "info string Hello from Vellum 7.00");
    const std::vector<std::string> expected = {
        "id name Vellum 7.00",
        "id author Mardale",
        "option name ConfigFilePath type string default ",
        "option name Hash type spin default 64 min 0 max 32768",
        "option name Threads type spin default 1 min 1 max 160",
        "option name Clear Hash type button",
        "option name NN_File type string default embedded",
        "option name Use_NN_eval type check default true",
        "option name OwnBook type check default false",
        "option name OwnBook_File type string default ",
        "option name OwnBook_Depth type spin default 24 min 0 max 60",
        "option name OwnBook2_File type string default ",
        "option name OwnBook2_Depth type spin default 0 min 0 max 60",
        "option name OwnBook_Variety type spin default 25 min 0 max 100",
        "option name SyzygyPath type string default ",
        "option name SyzygyProbeDepth6 type spin default 1 min -5 max 100",
        "option name Log type check default false",
        "option name Ponder type check default true",
        "option name MultiPV type spin default 1 min 1 max 255",
        "option name UCI_Chess960 type check default false",
        "option name UCI_ShowWDL type check default false",
        "option name MoveOverhead type spin default 50 min 0 max 1000",
        "option name UCI_LimitStrength type check default false",
    };
    auto got = lines_from(r.out, "id name Vellum 7.00");
    ASSERT_GE(got.size(), expected.size() + 5);
    for (size_t i = 0; i < expected.size(); i++) EXPECT_EQ(got[i], expected[i]) << "line " << i;
    // UCI_Elo's range ends at the calibrated strength, which depends on the machine.
    EXPECT_EQ(got[expected.size()].rfind("option name UCI_Elo type spin default ", 0), 0u);
    EXPECT_EQ(got[expected.size() + 1], "option name UCI_Opponent type string default ");
    EXPECT_EQ(got[expected.size() + 2], "option name Contempt type spin default 0 min -150 max 150");
    EXPECT_EQ(got[expected.size() + 3], "option name Selectivity type spin default 100 min 0 max 200");
    EXPECT_EQ(got[expected.size() + 4], "uciok");
}

TEST(UciPipe, OptionConfirmationsAreClampedAndShownAsDefaults) {
    // The huge table is given back at once so that the clear below stays cheap.
    auto r = run_engine({}, "setoption name Hash value 100000\n"
                            "setoption name Hash value 16\n"
                            "setoption name Threads value 0\n"
                            "setoption name Threads value 300\n"
                            "setoption name Contempt value -500\n"
                            "setoption name UCI_Elo value 1000\n"
                            "setoption name UCI_Elo value 5000\n"
                            "setoption name UCI_Opponent value GM 2800 human Somebody\n"
                            "setoption name SyzygyProbeDepth6 value 3\n"
                            "setoption name Ponder value false\n"
                            "setoption name UCI_Chess960 value true\n"
                            "setoption name MultiPV value 0\n"
                            "setoption name NoSuchOption value 5\n"
                            "setoption value 5\n"
                            "setoption name NN_File value my net.bin\n"
                            "setoption name Clear Hash\n"
                            "uci\n"
                            "quit\n");
    ASSERT_FALSE(r.timed_out);
    const char* confirmations[] = {
        "info string Hash set to 32768",     "info string Threads set to 1",
        "info string Threads set to 160",    "info string Contempt set to -150",
        "info string UCI_Elo set to 1500",   "info string UCI_Elo set to 3300",
        "info string opponent_elo set to 2800", "info string SyzygyProbeDepth6 set to 3",
        "info string Ponder set to 0",       "info string UCI_Chess960 set to 1",
        "info string MultiPV set to 1",      "info string NN_File set to 'my net.bin'",
        "info string Hash table cleared",
    };
    for (auto* c : confirmations) EXPECT_TRUE(has_line(r.out, c)) << c;
    EXPECT_TRUE(has_line(r.out, "info string unknown option 'NoSuchOption', ignored"));
    EXPECT_TRUE(has_line(r.out, "info string setoption without a name, ignored"));
    // The handshake after the options shows the applied values as defaults.
    EXPECT_TRUE(has_line(r.out, "option name Contempt type spin default -150 min -150 max 150"));
    EXPECT_TRUE(has_line(r.out, "option name Ponder type check default false"));
    EXPECT_TRUE(has_line(r.out, "option name UCI_Chess960 type check default true"));
    EXPECT_TRUE(has_line(r.out, "option name Hash type spin default 16 min 0 max 32768"));
}

TEST(UciPipe, IsReadyOnEverySeparator) {
    std::string input = "isready\r\nisready@isready";
    input.push_back('\0');
    input += "isready\n\n\nquit\n";
    auto r = run_engine({}, input);
    int count = 0;
    for (auto& l : split_lines(r.out)) count += l == "readyok";
    EXPECT_EQ(count, 4);
}

TEST(UciPipe, ClosedInputEndsTheProcess) {
    auto r = run_engine({}, "isready\n", 10.0);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(has_line(r.out, "readyok"));
    // A last line without its line end is still executed.
    r = run_engine({}, "isready", 10.0);
    EXPECT_FALSE(r.timed_out);
    EXPECT_TRUE(has_line(r.out, "readyok"));
}

TEST(UciPipe, GoPerftListsRootMovesAndTotal) {
    auto r = run_engine({}, "position startpos\ngo perft 3\nquit\n");
    auto lines = split_lines(r.out);
    int moves = 0;
    for (auto& l : lines) moves += l.size() > 6 && l[4] == ':' && l[5] == ' ' && isdigit(l[6]);
    EXPECT_EQ(moves, 20);
    EXPECT_TRUE(has_line(r.out, "e2e4: 600"));
    EXPECT_TRUE(has_line(r.out, "g1f3: 440"));
    auto tail = lines_from(r.out, "Nodes searched: 8902");
    ASSERT_GE(tail.size(), 2u);
    EXPECT_EQ(tail[1], "");

    r = run_engine({}, "position fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1\n"
                       "go perft 3\nquit\n");
    EXPECT_TRUE(has_line(r.out, "Nodes searched: 97862"));
    EXPECT_TRUE(has_line(r.out, "e1g1: 2059"));
}

TEST(UciPipe, PromotionsAndChess960CastlingInPerftOutput) {
    auto r = run_engine({}, "position fen 4k3/1P6/8/8/8/8/8/4K3 w - - 0 1\ngo perft 1\nquit\n");
    for (const char* m : {"b7b8q: 1", "b7b8n: 1", "b7b8b: 1", "b7b8r: 1"}) EXPECT_TRUE(has_line(r.out, m)) << m;
    // With Chess960 on, castling is written king-takes-rook.
    r = run_engine({}, "setoption name UCI_Chess960 value true\n"
                       "position fen bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 0 1\n"
                       "go perft 2\nquit\n");
    EXPECT_TRUE(has_line(r.out, "Nodes searched: 528"));
    r = run_engine({}, "setoption name UCI_Chess960 value true\n"
                       "position fen 4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1\ngo perft 1\nquit\n");
    EXPECT_TRUE(has_line(r.out, "e1h1: 1"));
    EXPECT_TRUE(has_line(r.out, "e1a1: 1"));
    EXPECT_FALSE(has_line(r.out, "e1g1: 1"));
    r = run_engine({}, "position fen 4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1\ngo perft 1\nquit\n");
    EXPECT_TRUE(has_line(r.out, "e1g1: 1"));
    EXPECT_TRUE(has_line(r.out, "e1c1: 1"));
}

TEST(UciPipe, PositionMovesAndBoardDisplay) {
    auto r = run_engine({}, "position startpos moves e2e4 e7e5 e1e2\nd\nquit\n");
    EXPECT_EQ(board_fen(r.out), "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPPKPPP/RNBQ1BNR b kq - 1 3");
    r = run_engine({}, "position startpos\nd\nquit\n");
    auto diagram = lines_from(r.out, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 0");
    ASSERT_GE(diagram.size(), 11u);
    EXPECT_EQ(diagram[1], "  r n b q k b n r");
    EXPECT_EQ(diagram[2], "  o o o o o o o o");
    EXPECT_EQ(diagram[3], "  - + - + - + - +");
    EXPECT_EQ(diagram[4], "  + - + - + - + -");
    EXPECT_EQ(diagram[7], "  P P P P P P P P");
    EXPECT_EQ(diagram[8], "  R N B Q K B N R");
    EXPECT_EQ(diagram[9], "white");
    EXPECT_EQ(diagram[10], "");
}

TEST(UciPipe, CastlingInBothNotations) {
    const std::string fen = "position fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1 moves ";
    for (const char* move : {"e1g1", "e1h1"}) {
        auto r = run_engine({}, fen + move + "\nd\nquit\n");
        EXPECT_EQ(board_fen(r.out), "r3k2r/8/8/8/8/8/8/R4RK1 b kq - 0 1") << move;
    }
    for (const char* move : {"e1c1", "e1a1"}) {
        auto r = run_engine({}, fen + move + "\nd\nquit\n");
        EXPECT_EQ(board_fen(r.out), "r3k2r/8/8/8/8/8/8/2KR3R b kq - 0 1") << move;
    }
}

TEST(UciPipe, BadPositionsKeepTheLastGoodState) {
    // Refused boards: two white kings, a pawn on the eighth rank, the side not to move in check,
    // no kings at all, and 17 white pieces.
    const char* bad[] = {
        "position fen 4k3/8/8/8/8/8/8/K3K3 w - - 0 1",
        "position fen 3Pk3/8/8/8/8/8/8/4K3 w - - 0 1",
        "position fen 4k3/8/8/8/8/8/8/4R1K1 w - - 0 1 moves",
        "position fen 8/8/8/8/8/8/8/8 w - - 0 1",
        "position fen",
        "position fen 4k3/8/8/8/8/NNNNNNNN/PPPPPPPP/4K3 w - - 0 1",
    };
    for (auto* cmd : bad) {
        auto r = run_engine({}, std::string("position startpos moves d2d4\n") + cmd + "\nd\ngo perft 1\nquit\n");
        EXPECT_FALSE(r.timed_out) << cmd;
        EXPECT_EQ(r.exit_code, 0) << cmd;
        EXPECT_NE(r.out.find("info string invalid position"), std::string::npos) << cmd;
        EXPECT_EQ(board_fen(r.out), "rnbqkbnr/pppppppp/8/8/3P4/8/PPP1PPPP/RNBQKBNR b KQkq d3 0 1") << cmd;
        EXPECT_TRUE(has_line(r.out, "Nodes searched: 20")) << cmd;
    }
    // An illegal move ends the list: the moves before it stand.
    auto r = run_engine({}, "position startpos moves e2e4 e7e5 e1e3 g1f3\nd\nquit\n");
    EXPECT_TRUE(has_line(r.out, "info string illegal move e1e3, ignoring it and the moves after it"));
    EXPECT_EQ(board_fen(r.out), "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2");
    // Garbage moves never corrupt the board.
    r = run_engine({}, "position startpos moves z9z9 e2e4\nd\nquit\n");
    EXPECT_EQ(board_fen(r.out), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 0");
}

TEST(UciPipe, VeryLongGamesFitTheHistory) {
    // 3000 plies of knights shuffling, with a pawn move every 100 plies.
    std::string cmd = "position startpos moves";
    const char* cycle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    const char* pawns[] = {"a2a3", "a7a6", "a3a4", "a6a5", "b2b3", "b7b6", "b3b4", "b6b5", "c2c3", "c7c6",
                           "c3c4", "c6c5", "d2d3", "d7d6", "d3d4", "d6d5", "e2e3", "e7e6", "e3e4", "e6e5"};
    int pawn_index = 0;
    int knight_step = 0;
    for (int ply = 0; ply < 3000;) {
        // With both knights at home, every 100 plies a pawn pair resets the fifty-move count.
        if (knight_step % 4 == 0 && ply % 100 >= 96 && pawn_index < 20) {
            cmd += std::string(" ") + pawns[pawn_index] + " " + pawns[pawn_index + 1];
            pawn_index += 2;
            ply += 2;
        }
        cmd += " ";
        cmd += cycle[knight_step++ % 4];
        ply++;
    }
    auto r = run_engine({}, cmd + "\ngo perft 2\nisready\nquit\n", 60.0);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out.find("illegal move"), std::string::npos);
    EXPECT_TRUE(has_line(r.out, "readyok"));
    EXPECT_NE(r.out.find("Nodes searched: "), std::string::npos);
}

TEST(UciPipe, CommandLineExitCodes) {
    // The trainer is built in: a missing training file ends it with a message and code 1.
    auto r = run_engine({"-train", "missing.bin", "5"}, "quit\n");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("info string can't open missing.bin for reading"), std::string::npos);
    EXPECT_EQ(run_engine({"-gentraindata", "file.bin", "0"}, "quit\n").exit_code, 1);
    EXPECT_EQ(run_engine({"-mkbook2"}, "quit\n").exit_code, 1);
    r = run_engine({"-mkconfig"}, "");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(has_line(r.out, "info string Hello from Vellum 7.00"));
    // Unknown arguments are ignored.
    r = run_engine({"-nonsense", "42"}, "isready\nquit\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(has_line(r.out, "readyok"));
}

TEST(UciPipe, ConfigurationFileAndLog) {
    char dir_template[] = "/tmp/vellum_cfg_XXXXXX";
    ASSERT_NE(mkdtemp(dir_template), nullptr);
    std::string dir = dir_template;
    {
        std::ofstream cfg(dir + "/engine.cfg");
        cfg << "# a comment line\n"
            << "MultiPV=3   # three lines\n"
            << "Hash = 16\r\n"
            << "no equals sign here\n"
            << "ConfigFilePath = " << dir << "/engine.cfg\n";  // names itself: must not loop forever
    }
    auto r = run_engine({"-cfg", dir + "/engine.cfg", "-mkconfig"}, "", 20.0);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(has_line(r.out, "info string loading parameters from " + dir + "/engine.cfg"));
    EXPECT_TRUE(has_line(r.out, "info string MultiPV set to 3"));
    EXPECT_TRUE(has_line(r.out, "info string Hash set to 16"));

    // A missing configuration file is reported and ignored.
    r = run_engine({"-cfg", dir + "/missing.cfg"}, "isready\nquit\n");
    EXPECT_TRUE(has_line(r.out, "info string can't open configuration file " + dir + "/missing.cfg, ignored"));
    EXPECT_TRUE(has_line(r.out, "readyok"));

    // The log copies every printed line and the commands received, from the moment it opens.
    r = run_engine({"-log"}, "isready\nquit\n", 20.0, dir);
    std::ifstream log(dir + "/vellum.log");
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_TRUE(has_line(text.str(), "CMD: isready"));
    EXPECT_TRUE(has_line(text.str(), "readyok"));
    // -quiet after -log turns logging off again.
    remove((dir + "/vellum.log").c_str());
    run_engine({"-log", "-quiet"}, "isready\nquit\n", 20.0, dir);
    struct stat st;
    EXPECT_NE(stat((dir + "/vellum.log").c_str(), &st), 0);
    remove((dir + "/engine.cfg").c_str());
    rmdir(dir.c_str());
}

TEST(UciPipe, CommandsDuringASearchKeepTheirOrder) {
    // "position" and "go" arrive together while a search runs: the search stops and answers,
    // then both run in order, so the second answer is a move for Black after 1. e4.
    auto r = run_engine({}, "position startpos\ngo infinite\nposition startpos moves e2e4\ngo depth 4\n", 30.0);
    ASSERT_FALSE(r.timed_out);
    std::vector<std::string> best;
    for (auto& l : split_lines(r.out))
        if (l.rfind("bestmove ", 0) == 0) best.push_back(l.substr(9, 4));
    ASSERT_EQ(best.size(), 2u) << r.out;
    const char* black_moves[] = {"a7a6", "a7a5", "b7b6", "b7b5", "c7c6", "c7c5", "d7d6", "d7d5", "e7e6", "e7e5",
                                 "f7f6", "f7f5", "g7g6", "g7g5", "h7h6", "h7h5", "b8a6", "b8c6", "g8f6", "g8h6"};
    bool black = false;
    for (auto* m : black_moves) black |= best[1] == m;
    EXPECT_TRUE(black) << best[1];
}
