// The console language in the test process: move entry and the history walk, positions that
// the engine cannot work with, the mirror image, saving and loading games, "set", perft and
// the evaluation trace. Output is captured from the one printing routine.
#include "engine/console.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "board/fen.h"
#include "board/notation.h"
#include "board/validate.h"
#include "core/output.h"
#include "engine/console_internal.h"
#include "engine/driver.h"
#include "eval/eval.h"
#include "eval/eval_trace.h"
#include "search/search_fixture.h"
#include "search/time.h"

namespace {

// Runs console lines in order and returns what they printed.
std::string console(const std::vector<std::string>& lines) {
    settings.uci_mode = 0;
    FILE* f = tmpfile();
    set_output_stream(f);
    for (const std::string& l : lines) {
        char buf[512];
        snprintf(buf, sizeof buf, "%s", l.c_str());
        handle_console_command(buf);
    }
    fflush(f);
    set_output_stream(stdout);
    std::string out;
    rewind(f);
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) out.append(chunk, n);
    fclose(f);
    return out;
}

std::string game_fen() {
    char fen[128];
    get_fen(main_thread->pos, fen, 0);
    return fen;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A scratch directory as the working directory for the commands that read and write files.
struct InScratchDir {
    char dir[64] = "/tmp/vellum_console_XXXXXX";
    char previous[4096];
    InScratchDir() {
        EXPECT_NE(getcwd(previous, sizeof previous), nullptr);
        EXPECT_NE(mkdtemp(dir), nullptr);
        EXPECT_EQ(chdir(dir), 0);
    }
    ~InScratchDir() {
        for (const char* f : {"tmp.pgn", "test.epd", "game.pgn"}) unlink(f);
        EXPECT_EQ(chdir(previous), 0);
        rmdir(dir);
    }
};

class Console : public ::testing::Test {
protected:
    void SetUp() override {
        prepare_search_environment();
        settings_snapshot = settings;
        console({"new"});
    }
};

}  // namespace

TEST_F(Console, MovesUndoForwardAndJumpWalkTheGame) {
    std::string out = console({"e4", "e5", "Nf3", "e2e4", "bogus"});
    EXPECT_TRUE(contains(out, "1. move e4\n"));
    EXPECT_TRUE(contains(out, "1. move e5\n"));
    EXPECT_TRUE(contains(out, "2. move Nf3\n"));
    // The typed text is reported, not what the parser left behind.
    EXPECT_TRUE(contains(out, "invalid: e2e4\n"));
    EXPECT_TRUE(contains(out, "invalid: bogus\n"));
    const std::string after = game_fen();
    out = console({"undo", "]"});
    EXPECT_TRUE(contains(out, "2. move Nf3\n"));
    EXPECT_EQ(game_fen(), after);
    out = console({"jump 1"});
    EXPECT_EQ(game_fen(), START_FEN);
    out = console({"]", "]"});
    EXPECT_TRUE(contains(out, "1. move e4\n"));
    EXPECT_TRUE(contains(out, "1... move e5\n"));
    out = console({"jump 2"});
    EXPECT_EQ(game_fen(), "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6");
    // A new move after taking moves back ends the line "]" could replay.
    console({"undo", "d5"});
    const std::string branched = game_fen();
    out = console({"]"});
    EXPECT_EQ(game_fen(), branched);
    EXPECT_FALSE(contains(out, "move"));
    // Nothing to take back at the start.
    console({"new", "undo"});
    EXPECT_EQ(game_fen(), START_FEN);
}

TEST_F(Console, BoardsTheSearchCannotHandleAreRefused) {
    console({"fen 4k3/8/8/8/8/8/4P3/4K3 w - -"});
    const std::string good = game_fen();
    const char* const bad[] = {
        "fen 8/8/8/8/8/8/8/4K3 w - -",      // no black king
        "fen 4k3/8/8/8/8/8/8/3KK3 w - -",   // two white kings
        "fen 4k2P/8/8/8/8/8/8/4K3 w - -",   // pawn on the last rank
        "fen 4k3/8/8/8/8/8/4R3/4K3 w - -",  // the side not to move in check
    };
    for (const char* line : bad) {
        std::string out = console({line});
        EXPECT_TRUE(contains(out, "invalid position")) << line;
        EXPECT_EQ(game_fen(), good) << line;
    }
    // The editor refuses a board without a black king and keeps the position.
    std::string out = console({"edit", "#", "w Ke1 Pe2", "."});
    EXPECT_TRUE(contains(out, "invalid position"));
    EXPECT_EQ(game_fen(), good);
    // A good edit: castling rights come from the placement, black to move.
    console({"edit", "#", "w Ke1 Rh1 Ra1 Pe2", "b Ke8 Rh8 pa7 Kz9 Qd8", "."});
    EXPECT_EQ(game_fen(), "4k2r/p7/8/8/8/8/4P3/R3K2R b KQk -");
}

TEST_F(Console, ReverseMirrorsWithFreshKeysAndNoHistory) {
    console({"fen r3k3/1p6/8/3P4/8/8/8/4K2R b - -", "Kd8"});
    const std::string before = game_fen();
    const u64 key = main_thread->pos.key;
    console({"reverse"});
    EXPECT_EQ(game_fen(), "4k2r/8/8/8/3p4/8/1P6/R2K4 b - -");
    Position check = main_thread->pos;
    compute_keys(check);
    EXPECT_EQ(main_thread->pos.key, check.key);
    EXPECT_EQ(main_thread->pos.pawn_key, check.pawn_key);
    EXPECT_EQ(main_thread->history.count, 0);
    console({"reverse"});
    EXPECT_EQ(game_fen(), before);
    EXPECT_EQ(main_thread->pos.key, key);
}

TEST_F(Console, SavedGamesLoadBackAlsoFromAFenStart) {
    InScratchDir scratch;
    console({"fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq -", "O-O", "O-O-O", "Ra2", "save"});
    const std::string end = game_fen();
    // The position stays where the game ended.
    EXPECT_EQ(end, game_fen());
    std::ifstream in("tmp.pgn");
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(),
              "[Event \"Unknown\"]\n[SetUp \"1\"]\n[FEN \"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1\"]\nO-O O-O-O Ra2 \n\n");
    std::string out = console({"new", "load tmp.pgn Unknown"});
    EXPECT_TRUE(contains(out, "loading tmp.pgn, tag Unknown\n\n"));
    EXPECT_TRUE(contains(out, "read "));
    EXPECT_EQ(game_fen(), end);
    // A game from the start position has no set-up tags.
    console({"new", "e4", "c5", "save", "new", "load tmp.pgn Unknown"});
    EXPECT_EQ(game_fen(), end);  // the first game with the tag
    // A game whose FEN tag the engine cannot work with is refused whole.
    std::ofstream("game.pgn") << "[Event \"Bad\"]\n[FEN \"4k3/8/8/8/8/8/8/4K2P w - - 0 1\"]\n\nKf2 Kd7 *\n";
    out = console({"load game.pgn Bad"});
    EXPECT_TRUE(contains(out, "invalid position"));
    EXPECT_EQ(game_fen(), end);
    out = console({"load nothere.pgn Unknown"});
    EXPECT_TRUE(contains(out, "can't open nothere.pgn"));
    out = console({"get x1"});
    EXPECT_TRUE(contains(out, "can't open test.epd"));
    std::ofstream("test.epd") << "; comment id \"x1\"\n4k3/8/8/8/8/8/4P3/4K3 w - - id \"x1\";\n";
    out = console({"get x1"});
    EXPECT_EQ(game_fen(), "4k3/8/8/8/8/8/4P3/4K3 w - -");
    std::ofstream("test.epd") << "4k3/8/8/8/8/8/8/4K2P w - - id \"x2\";\n";
    out = console({"get x2"});
    EXPECT_TRUE(contains(out, "invalid position"));
    EXPECT_EQ(game_fen(), "4k3/8/8/8/8/8/4P3/4K3 w - -");
}

TEST_F(Console, SetClampsAndRestoresOnlyThePruningDepths) {
    std::string out = console({"set level 40 5:00 2"});
    EXPECT_TRUE(contains(out, "set level to 40 moves in 300.00 seconds, inc 2.00\n"));
    EXPECT_FLOAT_EQ(search_control.clock[1], 300.0f);
    console({"set multipv 300", "set contempt 30000", "set Selectivity -5", "set depth 200"});
    EXPECT_EQ(settings.multipv, 255);
    EXPECT_EQ(settings.contempt, 150);
    EXPECT_EQ(settings.selectivity, 0);
    EXPECT_EQ(settings.depth_limit, 80);
    out = console({"set ss 0"});
    EXPECT_TRUE(contains(out, "selectivity set to OFF"));
    EXPECT_EQ(settings.NMP_depth, 99);
    EXPECT_EQ(settings.LMR_depth, 99);
    // "ss 1" brings the pruning depths back and nothing else: the console stays a console and
    // the hash size and thread count keep their current values.
    settings.hash_mb = 7;
    settings.threads = 3;
    out = console({"set ss 1"});
    EXPECT_TRUE(contains(out, "set default Settings"));
    EXPECT_EQ(settings.NMP_depth, 3);
    EXPECT_EQ(settings.LMR_depth, 3);
    EXPECT_EQ(settings.SEP_depth, 3);
    EXPECT_EQ(settings.uci_mode, 0);
    EXPECT_EQ(settings.hash_mb, 7u);
    EXPECT_EQ(settings.threads, 3);
    settings.threads = 1;
    out = console({"set LMP_depth 4", "set nodes 5000", "set target_nps 100000"});
    EXPECT_TRUE(contains(out, "LMP_depth set to 4\n"));
    EXPECT_EQ(settings.node_limit, 5000u);
    EXPECT_TRUE(contains(out, "target_nps set to 100000, Elo= " + std::to_string(int(elo_from_nps(100000)))));
    EXPECT_EQ(settings.limit_strength, 1);
    // "go": no depth means 80, zero or less means 0, more than 80 means 80; nothing is played.
    const std::pair<const char*, int> depths[] = {{"go", 80}, {"go 0", 0}, {"an -3", 0}, {"go 300", 80}, {"go 6", 6}};
    for (const auto& [line, depth] : depths) {
        console({line});
        EXPECT_EQ(settings.depth_limit, depth) << line;
        EXPECT_EQ(search_control.search_state, SEARCH_GO);
        EXPECT_EQ(console_auto_move, 0);
        search_control.search_state = 0;
    }
}

TEST_F(Console, PerftCountsThroughThePicker) {
    std::string out = console({"perft 3"});
    EXPECT_TRUE(contains(out, "visited 8902 nodes in ")) << out;
    out = console({"perft 0"});
    EXPECT_TRUE(contains(out, "visited 20 nodes in "));
    console({"fen 7k/6Q1/6K1/8/8/8/8/8 b - -"});
    out = console({"perft 2"});
    EXPECT_TRUE(contains(out, "visited 0 nodes in "));
}

// Every position of the perft suites, to the deepest depth of at most 20,000 leaves.
TEST_F(Console, PerftMatchesTheSuites) {
    const std::pair<const char*, const char*> suites[] = {{"standard.epd", "set frc 0"}, {"chess960.epd", "set frc 1"}};
    int checked = 0;
    for (const auto& [name, mode] : suites) {
        std::ifstream in(std::string(VELLUM_SHARED_DIR) + "/testdata/perft/" + name);
        if (!in) GTEST_SKIP() << "no perft suite " << name;
        console({mode});
        std::string line;
        while (std::getline(in, line)) {
            const size_t semi = line.find(';');
            if (semi == std::string::npos) continue;
            std::string depth, count;
            std::istringstream fields(line.substr(semi));
            for (std::string item, value; fields >> item >> value;) {
                if (std::stoll(value) > 20000) break;
                depth = item.substr(2), count = value;
            }
            if (depth.empty()) continue;
            console({"fen " + line.substr(0, semi)});
            const std::string out = console({"perft " + depth});
            EXPECT_TRUE(contains(out, "visited " + count + " nodes in ")) << line << "\n" << out;
            checked++;
        }
    }
    console({"set frc 0"});
    EXPECT_GT(checked, 100);
}

TEST_F(Console, TraceRowsAgreeWithTheEvaluation) {
    // Equal pawns: the pawn row's material difference is 0; the black knight on e5 hangs to d4.
    console({"fen 4k3/pp5p/8/4n3/3P4/8/PP6/4K3 w - -"});
    std::string out = console({"sp"});
    EXPECT_TRUE(contains(out, "           white  black      md\n"));
    std::istringstream lines(out);
    std::string line;
    bool pawn_row = false;
    while (std::getline(lines, line)) {
        if (line.rfind("pawns:", 0) != 0) continue;
        pawn_row = true;
        EXPECT_EQ(line.substr(line.size() - 4), "   0") << line;
    }
    EXPECT_TRUE(pawn_row);
    EXPECT_TRUE(contains(out, "hung pieces on:  e5\n")) << out;
    const int hce = evaluate_hce(main_thread->pos, main_thread->eval);
    EXPECT_TRUE(contains(out, ", hce= " + std::to_string(hce) + ", ")) << out;
    EXPECT_TRUE(contains(out, "sf= 1.00"));
    // Level 2: the parameters and the knight table, whose a1 entry (-43, -23) reads -43 / -24.
    EXPECT_TRUE(contains(out, "Knight\n"));
    const size_t knight = out.find("Knight\n");
    std::string table = out.substr(knight, 800);
    std::istringstream rows(table);
    std::getline(rows, line);
    for (int r = 0; r < 8; r++) std::getline(rows, line);
    std::istringstream values(line);
    int a1_mg = 0, skip = 0, a1_eg = 0;
    values >> a1_mg;
    for (int i = 0; i < 7; i++) values >> skip;
    values >> a1_eg;
    EXPECT_EQ(a1_mg, -43);
    EXPECT_EQ(a1_eg, -24);
    // A passed pawn with nothing in front of it or attacking its path; no network: "ev2" says so.
    console({"fen 4k3/8/8/8/8/8/1P6/4K3 w - -"});
    out = console({"sp", "ev2"});
    EXPECT_TRUE(contains(out, "free pawns on:  b2\n")) << out.substr(0, 800);
    EXPECT_TRUE(contains(out, "no network loaded\n"));
    // No hung pieces or free pawns: neither line.
    console({"new"});
    out = console({"sp"});
    EXPECT_FALSE(contains(out, "hung pieces on:"));
    EXPECT_FALSE(contains(out, "free pawns on:"));
}

// Malformed and missing arguments: every command answers, and the game position stays one the
// engine can work with.
TEST_F(Console, MalformedLinesLeaveAWorkablePosition) {
    InScratchDir scratch;
    const std::vector<std::string> lines = {"jump -5",
                                            "jump 99999",
                                            "perft x",
                                            "set",
                                            "set level",
                                            "set depth",
                                            "fen",
                                            "fen garbage w KQkq z9 x y",
                                            "load",
                                            "load x.pgn",
                                            "get",
                                            "move",
                                            "]",
                                            "[",
                                            "undo",
                                            "trace",
                                            "set ss",
                                            "book",
                                            "tag",
                                            "swap",
                                            "edit",
                                            "w Kz",
                                            "b",
                                            "w P",
                                            "#",
                                            "b Kq9 Ke8",
                                            "w ke1 qd1 pa8",
                                            ".",
                                            "reverse",
                                            "reverse",
                                            "ev2",
                                            std::string(600, 'x'),
                                            "fen 8/8/8/8/8/8/8/8 b - - 0 1",
                                            "e9e10",
                                            "O-O-O-O",
                                            "Kxx"};
    std::string out = console(lines);
    char why[128];
    EXPECT_EQ(validate_position(main_thread->pos, why), 0) << why;
    EXPECT_TRUE(contains(out, "invalid: e9e10\n"));
    // The edit put a white pawn on a8: refused, the start position kept; the mirror image
    // twice gives it back without castling rights.
    EXPECT_FALSE(edit_active());
    EXPECT_EQ(game_fen(), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - -");
}
