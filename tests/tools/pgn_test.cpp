// The PGN reader: tokens, comment scores, whole files against their oracles, and the EPD lines
// a game turns into.
#include "tools/pgn.h"

#include <gtest/gtest.h>

#include "board/makemove.h"
#include "tools/pgn_file.h"
#include "tools/san.h"
#include "tools_test_util.h"

using namespace tools_test;

namespace {

std::vector<std::string> tokens_of(const std::string& text) {
    std::vector<std::string> out;
    const char* cursor = text.c_str();
    char token[PGN_TOKEN];
    while (pgn_next_token(&cursor, token, sizeof token) >= 0) out.push_back(token);
    return out;
}

std::unique_ptr<PgnGame> parse(const std::string& text) {
    auto g = std::make_unique<PgnGame>();
    memset(g.get(), 0, sizeof(PgnGame));
    parse_pgn_game(*g, text.c_str());
    return g;
}

std::vector<std::string> moves_of(const PgnGame& g) {
    std::vector<std::string> out;
    for (int i = 0; i < g.move_count; i++) out.push_back(g.moves[i]);
    return out;
}

// EPD lines that write_game_positions produces for a game text.
std::vector<std::string> positions_of(const std::string& text, bool quiet_only = false) {
    auto g = parse(text);
    auto b = make_board();
    char path[] = "/tmp/vellum_pgn_XXXXXX";
    const int fd = mkstemp(path);
    FILE* f = fdopen(fd, "w+");
    write_game_positions(*g, b->pos, f, quiet_only);
    fflush(f);
    rewind(f);
    std::vector<std::string> lines;
    char line[512];
    while (fgets(line, sizeof line, f)) {
        line[strcspn(line, "\n")] = 0;
        lines.push_back(line);
    }
    fclose(f);
    unlink(path);
    return lines;
}

}  // namespace

TEST(PgnTokens, DelimitedTokensAndNestedVariations) {
    EXPECT_EQ(tokens_of("[Event \"a ] b\"] 1.e4 {c (x} ( 1... c5 ( 1... e5 {)} ) ) e5"),
              (std::vector<std::string>{"[Event \"a ] b\"]", "1.e4", "{c (x", "( 1... c5 ( 1... e5 {)} ) )", "e5"}));
    EXPECT_EQ(tokens_of("e4{glued}e5;rest of line {\nNf3"),
              (std::vector<std::string>{"e4", "{glued", "e5", ";rest of line {", "Nf3"}));
    EXPECT_EQ(tokens_of("  \n\t "), std::vector<std::string>{});
    // An unterminated comment runs to the end of the text.
    EXPECT_EQ(tokens_of("e4 {never closed"), (std::vector<std::string>{"e4", "{never closed"}));
}

TEST(PgnParse, MoveNumbersCastlingResultsAndMarks) {
    auto g = parse("[Result \"0-1\"]\n1.e4 e5 2.Nf3 Nc6 3.Bc4!? Bc5 $1 4.0-0 Nf6 5.d3 0-0-0?? 12...Qh4+ 0-1");
    EXPECT_EQ(moves_of(*g), (std::vector<std::string>{"e4", "e5", "Nf3", "Nc6", "Bc4", "Bc5", "0-0", "Nf6", "d3",
                                                      "0-0-0", "Qh4"}));
    EXPECT_EQ(g->result, -1);
    auto promo = parse("1. e8=Q+ exf8=N# *");
    EXPECT_EQ(moves_of(*promo), (std::vector<std::string>{"e8Q", "exf8N"}));
    EXPECT_EQ(promo->result, 0);
    // Without a Result tag the movetext's termination marker gives the result.
    EXPECT_EQ(parse("1. e4 e5 1-0")->result, 1);
}

TEST(PgnParse, CommentScoresGoToTheMoveBefore) {
    EXPECT_EQ(comment_score("{book}"), 0);
    EXPECT_EQ(comment_score("{-M12/30}"), -9900);
    EXPECT_EQ(comment_score("{+M1/2 0.01s}"), 9900);
    EXPECT_EQ(comment_score("{+3.5/20}"), 350);
    EXPECT_EQ(comment_score("{+95.00/20}"), 9000);
    EXPECT_EQ(comment_score("{+0.29/7}"), 29);  // exact decimal reading, no binary rounding
    EXPECT_EQ(comment_score("{-12.34/40 1:05}"), -1234);
    EXPECT_EQ(comment_score("{0.00/1}"), 0);
    EXPECT_EQ(comment_score("{+1.00}"), 0);
    EXPECT_EQ(comment_score("{-/5}"), 0);
    auto g = parse("{before any move} 1. e4 {+0.35/12 0.5s} e5 {book} 2. Nf3 {-0.20/9}");
    ASSERT_EQ(g->move_count, 3);
    EXPECT_EQ(g->scores[0], 35);
    EXPECT_EQ(g->scores[1], 0);
    EXPECT_EQ(g->scores[2], -20);
    // The final position is scored for its side to move.
    EXPECT_EQ(g->scores[3], 20);
}

TEST(PgnParse, EveryPerGameFieldIsReset) {
    auto g = std::make_unique<PgnGame>();
    memset(g.get(), 0, sizeof(PgnGame));
    parse_pgn_game(*g, "[Annotator \"x eval=35\"] [FEN \"8/8/8/8/8/8/8/K1k5 w - - 0 1\"] [Result \"1-0\"] 1. e4 {+1.00/3}");
    EXPECT_EQ(g->annotator_score, 35);
    parse_pgn_game(*g, "1. d4 d5");
    EXPECT_EQ(g->games_read, 2u);
    EXPECT_EQ(g->annotator_score, 0);
    EXPECT_EQ(g->fen[0], 0);
    EXPECT_EQ(g->result, 0);
    EXPECT_EQ(g->scores[0], 0);
    // A time forfeit drops the game.
    parse_pgn_game(*g, "[Termination \"time forfeit\"] 1. e4 {+0.1/2} e5");
    EXPECT_EQ(g->move_count, 0);
}

TEST(PgnPositions, OpeningSkipResultsAndScores) {
    // Twelve plies from the standard start write nothing; the thirteenth position is written.
    const std::string twelve = "1. e4 e5 2. Nf3 Nc6 3. Bc4 Bc5 4. c3 Nf6 5. d4 exd4 6. cxd4 Bb4+";
    EXPECT_TRUE(positions_of("[Result \"0-1\"] " + twelve).size() == 1u);
    const auto lines = positions_of("[Result \"0-1\"] " + twelve + " {+0.50/8} 7. Bd2 {-0.25/9} Bxd2+ 0-1");
    ASSERT_EQ(lines.size(), 3u);
    // White to move in a game Black won: gr 0.0; the final position carries the negated score.
    EXPECT_EQ(lines[0], "r1bqk2r/pppp1ppp/2n2n2/8/1bBPP3/5N2/PP3PPP/RNBQK2R w KQkq - ce -25; gr 0.0;");
    EXPECT_EQ(lines[2], "r1bqk2r/pppp1ppp/2n2n2/8/2BPP3/5N2/PP1b1PPP/RN1QK2R w KQkq - ce 0; gr 0.0;");
    // From a FEN every position is written; Black to move in a game Black won gets gr 1.0.
    const auto fen = positions_of("[FEN \"4k3/8/8/8/8/8/8/4K2r w - - 0 1\"] [Result \"0-1\"] 1. Kd2 {-5.00/3} Rh2+ {book}");
    ASSERT_EQ(fen.size(), 3u);
    EXPECT_EQ(fen[0], "4k3/8/8/8/8/8/8/4K2r w - - ce -500; gr 0.0;");
    EXPECT_EQ(fen[1], "4k3/8/8/8/8/8/3K4/7r b - - ce 0; gr 1.0;");
    EXPECT_EQ(fen[2], "4k3/8/8/8/8/8/3K3r/8 w - - ce 0; gr 0.0;");
    // Quiet positions only: a position in check and one whose move captures are left out.
    const auto check = positions_of("[FEN \"4k3/8/8/8/8/8/8/4K2r w - - 0 1\"] 1. Kd2 Kd7", true);
    ASSERT_EQ(check.size(), 2u);
    EXPECT_EQ(fen_fields(check[0], 4), "4k3/8/8/8/8/8/3K4/7r b - -");
    const auto capture = positions_of("[FEN \"4k3/8/8/8/8/8/3r4/4K3 w - - 0 1\"] 1. Kxd2 Kd7", true);
    ASSERT_EQ(capture.size(), 2u);
    EXPECT_EQ(fen_fields(capture[0], 4), "4k3/8/8/8/8/8/3K4/8 b - -");
    EXPECT_TRUE(positions_of("[Termination \"time forfeit\"] [FEN \"4k3/8/8/8/8/8/8/4K2r w - - 0 1\"] 1. Kd2").empty());
}

// Every game of the shared PGN files: the game split, the moves read, the final position and
// the result agree with the oracle beside each file.
TEST(PgnFiles, EveryGameReplaysToTheOracle) {
    const char* files[] = {"classical", "engine_games", "pychess_samples", "annotated_studies", "tricky_syntax",
                           "tricky_bom_crlf"};
    if (!exists(shared_path("testdata/pgn/classical.pgn"))) GTEST_SKIP() << "shared PGN data not found";
    auto b = make_board();
    auto g = std::make_unique<PgnGame>();
    for (const char* name : files) {
        SCOPED_TRACE(name);
        const auto rows = read_csv(shared_path(std::string("testdata/pgn/") + name + ".csv"));
        PgnFileReader reader;
        ASSERT_EQ(pgn_reader_open(reader, shared_path(std::string("testdata/pgn/") + name + ".pgn").c_str()), 0);
        memset(g.get(), 0, sizeof(PgnGame));
        size_t game = 0;
        while (const char* text = pgn_reader_next(reader)) {
            ASSERT_LT(game, rows.size());
            const auto& row = rows[game++];
            SCOPED_TRACE("game " + row[0]);
            parse_pgn_game(*g, text);
            const std::string result = row[3], termination = row[4], start = row[5];
            EXPECT_EQ(g->result, result == "1-0" ? 1 : result == "0-1" ? -1 : 0);
            EXPECT_EQ(std::string(g->fen), start);
            if (termination.find("time forfeit") != std::string::npos ||
                termination.find("abandoned") != std::string::npos) {
                EXPECT_EQ(g->move_count, 0);
                continue;
            }
            ASSERT_EQ(g->move_count, std::stoi(row[6]));
            set_fen(b->pos, start.empty() ? START_FEN : start.c_str());
            for (int i = 0; i < g->move_count; i++) {
                Move m;
                ASSERT_EQ(read_san(b->pos, g->moves[i], &m), 1) << "move " << i << " " << g->moves[i];
                make_move(b->pos, m);
            }
            char fen[128];
            get_fen(b->pos, fen, 0);
            EXPECT_EQ(fen_fields(fen, 3), fen_fields(row[7], 3));
        }
        EXPECT_EQ(game, rows.size());
        pgn_reader_close(reader);
    }
}
