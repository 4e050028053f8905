// The training-data tools run as the engine binary runs them: self-play games through
// -scan_pgn, -epd2bin and -bin2epd, the material split, search labels from the tablebases,
// and what each tool does with files it cannot use.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "board/attacks.h"
#include "board/makemove.h"
#include "engine/process_util.h"
#include "tools/pgn.h"
#include "tools/san.h"
#include "tools_test_util.h"

using namespace tools_test;

namespace {

std::vector<std::string> file_lines(const std::string& path) {
    std::vector<std::string> out;
    for (auto& l : split_lines(read_file(path)))
        if (!l.empty()) out.push_back(l);
    return out;
}

ProcessResult run_tool(const TempDir& dir, const std::vector<std::string>& args) {
    return run_engine(args, "", 120.0, dir.path);
}

// The value of an EPD operation ("ce", "sc", "gr") in a line, or "" when absent.
std::string op(const std::string& line, const std::string& name) {
    const size_t at = line.find(" " + name + " ");
    if (at == std::string::npos) return "";
    const size_t start = at + name.size() + 2;
    return line.substr(start, line.find(';', start) - start);
}
std::string fen_of(const std::string& line) { return fen_fields(line, 4); }

std::vector<std::string> games_of(const std::string& pgn) {
    std::vector<std::string> games;
    size_t at = 0;
    while ((at = pgn.find("[Event", at)) != std::string::npos) {
        const size_t next = pgn.find("[Event", at + 1);
        games.push_back(pgn.substr(at, next == std::string::npos ? std::string::npos : next - at));
        at = next;
    }
    return games;
}

// Replays a self-play game and checks that it ended the way its tags say: by mate, stalemate
// or a drawing rule, or by the score thresholds of the generator's adjudication.
void check_game_end(const std::string& text) {
    auto g = std::make_unique<PgnGame>();
    memset(g.get(), 0, sizeof(PgnGame));
    parse_pgn_game(*g, text.c_str());
    auto b = make_board(g->fen);
    std::vector<int> white_view;
    for (int i = 0; i < g->move_count; i++) {
        Move m;
        ASSERT_EQ(read_san(b->pos, g->moves[i], &m), 1) << g->moves[i];
        white_view.push_back(b->pos.side == WHITE ? g->scores[i] : -g->scores[i]);
        make_move(b->pos, m);
    }
    const int n = int(white_view.size());
    const bool no_moves = first_legal_move(b->pos) == 0;
    const bool in_check = is_attacked(b->pos, b->pos.king_sq[b->pos.side], b->pos.side ^ 1);
    if (text.find("[Termination \"normal\"]") != std::string::npos) {
        if (g->result != 0) {
            EXPECT_TRUE(no_moves && in_check) << "a decisive game without mate";
            EXPECT_EQ(g->result, b->pos.side == WHITE ? -1 : 1);
        } else {
            EXPECT_TRUE((no_moves && !in_check) || is_draw(b->pos, 0) || popcount(occupancy(b->pos)) <= 4);
        }
        return;
    }
    ASSERT_NE(text.find("[Termination \"adjudication\"]"), std::string::npos);
    if (g->result != 0) {
        ASSERT_GE(n, 8);
        for (int i = n - 8; i < n; i++) EXPECT_GE(g->result * white_view[size_t(i)], 1000) << "ply " << i;
    } else if (n < 400) {
        ASSERT_GE(n, 80);
        for (int i = n - 16; i < n; i++) EXPECT_LE(abs(white_view[size_t(i)]), 10) << "ply " << i;
    }
}

}  // namespace

TEST(TrainingChain, SelfPlayGamesBecomeRecordsAndComeBack) {
    TempDir dir;
    const std::vector<std::string> play = {"-selfplay", "6", "a.pgn", "-n", "300", "-seed", "7", "-use_hce"};
    auto r = run_tool(dir, play);
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("selfplay games 6, positions "), std::string::npos) << r.out;
    const std::string pgn = read_file(dir / "a.pgn");

    // The same seed plays the same games; every game of a run is different.
    auto again = run_tool(dir, {"-selfplay", "6", "b.pgn", "-n", "300", "-seed", "7", "-use_hce"});
    ASSERT_EQ(again.exit_code, 0);
    EXPECT_EQ(read_file(dir / "b.pgn"), pgn);
    const auto games = games_of(pgn);
    ASSERT_EQ(games.size(), 6u);
    std::set<std::string> starts;
    int plies = 0;
    for (auto& g : games) {
        const size_t fen = g.find("[FEN \"");
        ASSERT_NE(fen, std::string::npos);
        starts.insert(g.substr(fen, g.find('"', fen + 6) - fen));
        const size_t count = g.find("[PlyCount \"");
        plies += std::stoi(g.substr(count + 11));
        check_game_end(g);
    }
    EXPECT_EQ(starts.size(), 6u);

    auto scan = run_tool(dir, {"-scan_pgn", "a.pgn", "-o", "a.epd"});
    ASSERT_EQ(scan.exit_code, 0) << scan.out;
    EXPECT_TRUE(has_line(scan.out, "read 6 games")) << scan.out;
    EXPECT_EQ(scan.out.find("can't parse"), std::string::npos) << scan.out;
    const auto epd = file_lines(dir / "a.epd");
    // Games start from a FEN: every position is written, the final one included (up to the
    // 240-move cut, far beyond these games' lengths only when a game reaches it).
    EXPECT_EQ(int(epd.size()), plies + 6);

    auto pack = run_tool(dir, {"-epd2bin", "a.epd"});
    ASSERT_EQ(pack.exit_code, 0) << pack.out;
    const std::string bin = read_file(dir / "a.bin");
    ASSERT_EQ(bin.size() % 40, 0u);
    EXPECT_NE(pack.out.find("stored " + std::to_string(bin.size() / 40) + " positions in a.bin."), std::string::npos);

    // -bin2epd never writes over a.epd: it picks a new name and says so.
    auto unpack = run_tool(dir, {"-bin2epd", "a.bin"});
    ASSERT_EQ(unpack.exit_code, 0) << unpack.out;
    EXPECT_NE(unpack.out.find("writing a-1.epd"), std::string::npos) << unpack.out;
    EXPECT_EQ(file_lines(dir / "a.epd"), epd);
    const auto back = file_lines(dir / "a-1.epd");
    ASSERT_EQ(back.size(), bin.size() / 40);
    // Each record comes back with its position, ce, sc (= ce, clamped) and result, in order;
    // the lines the result filter dropped are the only ones missing.
    size_t k = 0;
    for (auto& line : back) {
        while (k < epd.size() && fen_of(epd[k]) != fen_of(line)) k++;
        ASSERT_LT(k, epd.size()) << line;
        EXPECT_EQ(op(line, "ce"), op(epd[k], "ce"));
        const int ce = std::stoi(op(epd[k], "ce"));
        EXPECT_EQ(std::stoi(op(line, "sc")), ce > 3000 ? 3000 : ce < -3000 ? -3000 : ce);
        EXPECT_EQ(op(line, "gr"), op(epd[k], "gr"));
        k++;
    }
}

TEST(TrainingChain, MaterialBucketsAndDamagedInput) {
    TempDir dir;
    write_file(dir / "mix.epd",
               "4k3/4p3/8/8/8/8/4P3/4K3 w - - ce 10; gr 0.5;\n"           // no pieces: bucket 0
               "4k3/8/8/8/8/8/8/3QK3 w - - ce 20; gr 1.0;\n"              // one queen: 1
               "r3k2r/8/8/8/8/8/8/R3K2R w - - ce 0; gr 0.5;\n"            // four rooks: 2
               "r3k3/8/8/8/8/8/8/R2QK3 w - - ce 50; gr 1.0;\n"            // three, a queen: 3
               "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - ce 5; gr 0.5;\n"  // 7
               "8/8/8/8/8/8/8/8 w - - ce 5; gr 0.5;\n"                    // no kings: skipped
               "garbage line that is long enough ce 1;\n"
               "4k3/8/8/8/8/8/8/4K3 w - - gr 0.5;\n");                    // no score: skipped
    auto pack = run_tool(dir, {"-epd2bin", "mix.epd"});
    ASSERT_EQ(pack.exit_code, 0) << pack.out;
    EXPECT_NE(pack.out.find("stored 5 positions in mix.bin."), std::string::npos) << pack.out;
    auto split = run_tool(dir, {"-gentraindata", "mix.bin", "1"});
    ASSERT_EQ(split.exit_code, 0) << split.out;
    const int expected[8] = {1, 1, 1, 1, 0, 0, 0, 1};
    for (int b = 0; b < 8; b++)
        EXPECT_EQ(read_file(dir / ("tmp__" + std::to_string(b) + ".bin")).size(), size_t(40 * expected[b])) << b;

    // A truncated training file: the whole records are read, the rest is reported.
    std::string bin = read_file(dir / "mix.bin");
    write_file(dir / "cut.bin", bin.substr(0, bin.size() - 17));
    auto cut = run_tool(dir, {"-bin2epd", "cut.bin"});
    EXPECT_EQ(cut.exit_code, 0);
    EXPECT_NE(cut.out.find("read 4 positions from cut.bin."), std::string::npos) << cut.out;
    EXPECT_NE(cut.out.find("not a whole record"), std::string::npos) << cut.out;
    // A record with a bad piece code is skipped and counted.
    bin[0] = 0x07;
    write_file(dir / "bad.bin", bin);
    auto bad = run_tool(dir, {"-bin2epd", "bad.bin"});
    EXPECT_NE(bad.out.find("skipped 1 records"), std::string::npos) << bad.out;
    EXPECT_EQ(file_lines(dir / "bad.epd").size(), 4u);

    // Random bytes as a PGN file: no games worth a line, no crash.
    std::string noise;
    unsigned x = 12345;
    for (int i = 0; i < 20000; i++) noise += char((x = x * 1103515245u + 12345u) >> 24);
    write_file(dir / "noise.pgn", noise);
    auto scan = run_tool(dir, {"-scan_pgn", "noise.pgn", "-o", "noise.epd"});
    EXPECT_EQ(scan.exit_code, 0) << scan.out;
    EXPECT_NE(scan.out.find("read "), std::string::npos);

    // Files that cannot be used: one line and exit code 1, nothing overwritten.
    auto missing = run_tool(dir, {"-epd2bin", "missing.epd"});
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_NE(missing.out.find("info string can't open missing.epd for reading"), std::string::npos) << missing.out;
    EXPECT_EQ(run_tool(dir, {"-bin2epd", "missing.bin"}).exit_code, 1);
    EXPECT_EQ(run_tool(dir, {"-scan_pgn", "missing.pgn", "-o", "x.epd"}).exit_code, 1);
    write_file(dir / "same.pgn.epd", "[Event \"x\"]\n\n1. e4 e5 *\n");
    auto same = run_tool(dir, {"-scan_pgn", "same.pgn.epd", "-o", "same.pgn.epd"});
    EXPECT_EQ(same.exit_code, 1);
    EXPECT_EQ(read_file(dir / "same.pgn.epd"), "[Event \"x\"]\n\n1. e4 e5 *\n");
}

TEST(TrainingChain, SearchLabelsFromTheTablebases) {
    const std::string tb = shared_path("testdata/syzygy");
    if (!exists(tb + "/KQvK.rtbw")) GTEST_SKIP() << "shared tablebases not found";
    TempDir dir;
    write_file(dir / "tb.epd",
               "8/8/8/4k3/8/8/8/3QK3 w - - 0 1\n"
               "8/8/8/4k3/8/8/8/3QK3 b - - 0 1\n"
               "8/8/8/8/8/2k5/2P5/2K5 w - - ce 0; gr 1.0;\n"
               "8/8/8/8/8/8/8/8 w - -\n");
    auto r = run_tool(dir, {"-mktraindata", "tb.epd", "-o", "out.epd", "-d", "4", "-tbpath", tb});
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("info string line 4 skipped"), std::string::npos) << r.out;
    const auto lines = file_lines(dir / "out.epd");
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(op(lines[0] + ";", "sc"), "9000");
    EXPECT_EQ(op(lines[1] + ";", "sc"), "-9000");
    EXPECT_EQ(op(lines[2], "sc"), "0");
    EXPECT_EQ(op(lines[2], "gr"), "1.0");
}

// -random_plies with -variations: each input line becomes several positions a few random plies
// away, each legal, labelled by the search alone, and the same seed gives the same file.
TEST(TrainingChain, RandomVariationsOfEachLine) {
    TempDir dir;
    write_file(dir / "in.epd", "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - ce 20; gr 1.0;\n");
    const std::vector<std::string> args = {"-use_hce", "-mktraindata", "in.epd", "-d", "0", "-random_plies", "2",
                                           "-variations", "6", "-seed", "5"};
    auto with_out = [&](const std::string& out) {
        auto a = args;
        a.insert(a.end(), {"-o", out});
        return a;
    };
    ASSERT_EQ(run_tool(dir, with_out("a.epd")).exit_code, 0);
    ASSERT_EQ(run_tool(dir, with_out("b.epd")).exit_code, 0);
    const auto lines = file_lines(dir / "a.epd");
    EXPECT_EQ(read_file(dir / "a.epd"), read_file(dir / "b.epd"));
    ASSERT_GE(lines.size(), 4u);
    std::set<std::string> fens;
    for (auto& l : lines) {
        fens.insert(fen_of(l));
        const std::string fen = fen_of(l);
        EXPECT_EQ(op(l, "gr"), "") << l;  // the game result belongs to the line, not to its variations
        EXPECT_NE(op(l, "sc"), "") << l;
        EXPECT_NE(first_legal_move(make_board(fen.c_str())->pos), MOVE_NONE) << l;
    }
    EXPECT_GE(fens.size(), 4u);
}
