// Book building from PGN: the weight rules on hand-made games, what the move-text reader skips,
// and a book built from a real game collection (order, legality of every entry).
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include "board/attacks.h"
#include "board/board_test_util.h"
#include "board/makemove.h"
#include "board/notation.h"
#include "book/book_test_util.h"
#include "book/polyglot.h"
#include "tools/make_book.h"

using namespace board_test;
using namespace book_test;

namespace {

std::string game(const char* result, const std::string& moves, const std::string& extra_tags = "") {
    return "[Event \"test\"]\n[Result \"" + std::string(result) + "\"]\n" + extra_tags + "\n" + moves + "\n\n";
}

std::string times(int n, const std::string& text) {
    std::string out;
    for (int i = 0; i < n; i++) out += text;
    return out;
}

// The entries of the position reached by `moves` (SAN, from the start) as "move:weight" texts.
std::vector<std::string> entries_after(const std::vector<BookEntry>& book, const std::vector<std::string>& moves) {
    auto b = make_board(START_FEN);
    for (auto& san : moves) {
        char text[32];
        snprintf(text, sizeof text, "%s", san.c_str());
        Move m = MOVE_NONE;
        EXPECT_EQ(parse_move(b->pos, text, &m), 1) << san;
        make_move(b->pos, m);
    }
    const u64 key = polyglot_key(b->pos);
    std::vector<std::string> out;
    for (auto& e : book) {
        if (e.key != key) continue;
        char squares[8];
        book_move_squares(e.move, squares);
        out.push_back(std::string(squares) + ":" + std::to_string(e.weight));
    }
    return out;
}

using Texts = std::vector<std::string>;

struct BuiltBook {
    std::string out;
    std::vector<BookEntry> entries;
    int rc;
};

BuiltBook build(TempDir& dir, const std::string& pgn) {
    init_board();
    const std::string pgn_path = dir / "games.pgn", book_path = dir / "book.bin";
    write_file(pgn_path, pgn);
    BuiltBook b;
    b.out = captured_output([&] { b.rc = make_book(pgn_path.c_str(), book_path.c_str()); });
    b.entries = read_all_entries(book_path);
    return b;
}

const std::string KNIGHT_DANCE_36 = [] {
    std::string s;
    for (int move = 1; move <= 18; move += 2)
        s += std::to_string(move) + ". Nf3 Nf6 " + std::to_string(move + 1) + ". Ng1 Ng8 ";
    return s;
}();

}  // namespace

TEST(MakeBook, WeightRulesOnHandMadeGames) {
    TempDir dir;
    std::string pgn;
    pgn += times(5, game("1/2-1/2", "1. e4 e5 1/2-1/2"));   // written with weight 5
    pgn += times(4, game("1/2-1/2", "1. d4 d5 1/2-1/2"));   // four draws: left out
    pgn += times(6, game("1-0", "1. a3 1-0")) + times(3, game("0-1", "1. a3 0-1"));  // 24 - 6
    pgn += times(5, game("1-0", "1. a4 1-0")) + times(5, game("0-1", "1. a4 0-1"));  // 5 > max(4, 5) fails
    // Black's h6 is written with a negative score (weight 0), the only move of its key.
    pgn += times(5, game("1/2-1/2", "1. h3 h6 1/2-1/2")) + times(4, game("1-0", "1. h3 h6 1-0"));
    // Games from a set-up position (FEN after or before the result) and unfinished games add nothing.
    pgn += times(5, game("1-0", "1. c4 1-0", "[FEN \"" + std::string(START_FEN) + "\"]\n"));
    pgn += times(5, "[FEN \"" + std::string(START_FEN) + "\"]\n[Result \"1-0\"]\n\n1. c3 1-0\n\n");
    pgn += times(5, game("*", "1. Nc3 *"));
    // Castling written with zeros, comments, variations, NAGs, marks and escape lines.
    pgn += times(5, game("1-0",
                         "1. e4 {a comment (with a paren; and a semicolon} e5 (1... c5 2. Nf3) 2. Nf3 $1 Nc6!?\n"
                         "% an escaped line e6\n"
                         "3. Bc4 Bc5 ; rest of the line d6\n"
                         "4. 0-0 Nf6 5. Re1+ 1-0"));
    BuiltBook b = build(dir, pgn);
    ASSERT_EQ(b.rc, 0);
    // e4: 5 draws and the 5 won castling games; sorted by descending weight.
    EXPECT_EQ(entries_after(b.entries, {}), (Texts{"e2e4:25", "h2h3:21", "a2a3:18"}));
    EXPECT_EQ(entries_after(b.entries, {"h3"}), (Texts{"h7h6:0"}));
    EXPECT_EQ(entries_after(b.entries, {"e4"}), (Texts{}));  // Black drew five, lost five
    EXPECT_EQ(entries_after(b.entries, {"e4", "e5"}), (Texts{"g1f3:20"}));
    EXPECT_EQ(entries_after(b.entries, {"e4", "e5", "Nf3"}), (Texts{}));  // Black lost: 0 wins + 0 draws
    EXPECT_EQ(entries_after(b.entries, {"e4", "e5", "Nf3", "Nc6", "Bc4", "Bc5"}), (Texts{"e1h1:20"}));
    EXPECT_EQ(entries_after(b.entries, {"e4", "e5", "Nf3", "Nc6", "Bc4", "Bc5", "O-O", "Nf6"}), (Texts{"f1e1:20"}));
    EXPECT_EQ(entries_after(b.entries, {"e4", "c5"}), (Texts{}));  // variation
    // Games counted: every [Result tag; nodes: distinct (position, move) pairs.
    EXPECT_NE(b.out.find("\nngames= 57, nmoves= "), std::string::npos) << b.out;
    EXPECT_NE(b.out.find("book contains 8 moves\ndone\n"), std::string::npos) << b.out;
    EXPECT_EQ(b.out.rfind(" Creating file ", 0), 0u) << b.out;

    // Five draws give weight 5 to both sides' moves.
    b = build(dir, times(5, game("1/2-1/2", "1. e4 e5 1/2-1/2")));
    EXPECT_EQ(entries_after(b.entries, {}), (Texts{"e2e4:5"}));
    EXPECT_EQ(entries_after(b.entries, {"e4"}), (Texts{"e7e5:5"}));
}

TEST(MakeBook, PlyLimitIsTestedAtTheStartOfEachLine) {
    TempDir dir;
    // 36 plies of knight moves back to the start position, then a3 on the next line: not entered.
    // The same game on one line enters b3 as well.
    std::string pgn = times(5, game("1/2-1/2", KNIGHT_DANCE_36 + "\n19. a3 1/2-1/2"));
    pgn += times(5, game("1/2-1/2", KNIGHT_DANCE_36 + "19. b3 1/2-1/2"));
    BuiltBook b = build(dir, pgn);
    ASSERT_EQ(b.rc, 0);
    EXPECT_EQ(entries_after(b.entries, {}), (Texts{"g1f3:90", "b2b3:5"}));
}

TEST(MakeBook, LargeScoresAreScaledToTheLargestWeight) {
    TempDir dir;
    std::string pgn = times(15001, game("1-0", "1. g4 1-0")) + times(7500, game("1-0", "1. b4 1-0"));
    BuiltBook b = build(dir, pgn);
    ASSERT_EQ(b.rc, 0);
    // 60004 becomes 60000; 30000 becomes 30000 x 60000 / 60004.
    EXPECT_EQ(entries_after(b.entries, {}), (Texts{"g2g4:60000", "b2b4:29998"}));
    EXPECT_NE(b.out.find("ngames= 22501"), std::string::npos);
    // One progress mark per 1024 games.
    EXPECT_NE(b.out.find("\n" + std::string(21, '.') + "\nwriting book file ...\n"), std::string::npos) << b.out;
}

TEST(MakeBook, RealGamesGiveASortedBookOfLegalMoves) {
    const std::string pgn_path = shared_path("pgn/classical.pgn");
    BOOK_SHARED_OR_SKIP(pgn_path);
    TempDir dir;
    const std::string book_path = dir / "classical.bin";
    init_board();
    int rc = 1;
    const std::string out = captured_output([&] { rc = make_book(pgn_path.c_str(), book_path.c_str()); });
    ASSERT_EQ(rc, 0);
    EXPECT_NE(out.find("ngames= 3000"), std::string::npos);
    auto entries = read_all_entries(book_path);
    ASSERT_GT(entries.size(), 500u);
    std::map<u64, std::vector<BookEntry>> by_key;
    for (size_t i = 0; i < entries.size(); i++) {
        if (i > 0) {
            ASSERT_LE(entries[i - 1].key, entries[i].key) << i;
            if (entries[i - 1].key == entries[i].key) {
                EXPECT_GE(entries[i - 1].weight, entries[i].weight) << i;
            }
        }
        EXPECT_EQ(entries[i].learn, 0u);
        by_key[entries[i].key].push_back(entries[i]);
    }
    // Replay the games (a plain reader: these games have no comments or variations) to find the
    // position of every key; each entry must decode to a legal move of its position.
    std::map<u64, std::string> positions;
    std::ifstream in(pgn_path);
    std::string line;
    auto b = make_board(START_FEN);
    bool playing = false;
    while (std::getline(in, line)) {
        if (line.rfind("[Result ", 0) == 0) set_fen(b->pos, START_FEN), playing = true;
        if (line.empty() || line[0] == '[') continue;
        std::istringstream words(line);
        for (std::string word; playing && words >> word;) {
            const size_t start = word.find_first_of("abcdefghKQRBNO");
            if (start == std::string::npos || b->hist.count >= BOOK_BUILD_PLIES + 16) continue;
            char text[32];
            snprintf(text, sizeof text, "%s", word.substr(start).c_str());
            text[strcspn(text, "#")] = 0;
            Move m = MOVE_NONE;
            if (!parse_move(b->pos, text, &m)) {
                playing = false;
                continue;
            }
            char fen[128];
            get_fen(b->pos, fen, 0);
            positions.emplace(polyglot_key(b->pos), fen);
            make_move(b->pos, m);
        }
    }
    for (auto& [key, list] : by_key) {
        ASSERT_TRUE(positions.count(key)) << std::hex << key;
        set_fen(b->pos, positions[key].c_str());
        for (auto& e : list) EXPECT_NE(decode_book_move(b->pos, e.move), MOVE_NONE) << positions[key] << " " << e.move;
    }
}
