// The game driver with opening books, through the engine binary: book moves are announced and
// answered at once without a ponder move; ponder searches, OwnBook off, the depth limits, the
// fifty-move counter and drawing book moves fall back to the search; the second book.
#include <gtest/gtest.h>

#include <fstream>

#include "board/board_test_util.h"
#include "board/makemove.h"
#include "board/notation.h"
#include "book/book_file.h"
#include "book/polyglot.h"
#include "process_util.h"

using namespace board_test;

namespace {

struct BookFiles {
    std::string dir, main_book, second_book;
    BookFiles() {
        char templ[] = "/tmp/vellum_driver_book_XXXXXX";
        dir = mkdtemp(templ) ? templ : "/tmp";
        main_book = dir + "/main.bin";
        second_book = dir + "/second.bin";
    }
    ~BookFiles() {
        remove(main_book.c_str());
        remove(second_book.c_str());
        rmdir(dir.c_str());
    }
};

// The key of the position after `moves` (coordinate form) and the book form of `reply` there.
BookEntry entry_after(const std::vector<const char*>& moves, const char* reply, const char* fen = START_FEN) {
    auto b = make_board(fen);
    for (const char* m : moves) make_move(b->pos, parse_uci_move(b->pos, m));
    return BookEntry{polyglot_key(b->pos), polyglot_move(b->pos, parse_uci_move(b->pos, reply)), 10, 0};
}

void write_entries(const std::string& path, std::vector<BookEntry> entries) {
    std::sort(entries.begin(), entries.end(), [](const BookEntry& a, const BookEntry& b) { return a.key < b.key; });
    FILE* f = fopen(path.c_str(), "wb");
    for (auto& e : entries) write_book_entry(f, e);
    fclose(f);
}

std::string session(const BookFiles& books, const std::string& commands) {
    std::string input = "setoption name OwnBook value true\nsetoption name OwnBook_File value " + books.main_book + "\n";
    auto r = run_engine({"-hash", "1"}, input + commands + "quit\n", 60.0);
    EXPECT_FALSE(r.timed_out);
    return r.out;
}

const char* const FAST_GO = "go wtime 2000 btime 2000\n";

}  // namespace

TEST(BookDriver, BookMovesAreAnnouncedAndPlayedWithoutSearching) {
    BookFiles books;
    const char* const repeat_fen = "r1bqkbnr/pppppppp/2n5/8/8/5N2/PPPPPPPP/RNBQKB1R w KQkq - 0 1";
    write_entries(books.main_book, {entry_after({}, "e2e4"), entry_after({"e2e4"}, "c7c5"),
                                    entry_after({"e2e4", "c7c5"}, "g1f3"),
                                    // Back to a position met twice before: a repetition draw.
                                    entry_after({"f3g1", "c6b8", "g1f3"}, "b8c6", repeat_fen),
                                    // A real move under a fifty-move counter above 100.
                                    entry_after({}, "e2e4", "4k3/8/8/8/8/8/4P3/4K3 w - - 101 80")});
    std::string out = session(books, std::string("position startpos\n") + FAST_GO + "position startpos moves e2e4\n" +
                                         FAST_GO);
    EXPECT_TRUE(has_line(out, "info string ( book moves are: e2e4  )")) << out;
    EXPECT_TRUE(has_line(out, "info string book move is e4")) << out;
    EXPECT_TRUE(has_line(out, "bestmove e2e4")) << out;
    EXPECT_TRUE(has_line(out, "info string book move is c5")) << out;
    EXPECT_TRUE(has_line(out, "bestmove c7c5")) << out;
    EXPECT_EQ(out.find("info depth"), std::string::npos) << out;

    // A ponder request, OwnBook off and the depth limit all search instead.
    out = session(books, "position startpos\ngo ponder wtime 2000 btime 2000\nstop\n"
                         "setoption name OwnBook value false\nposition startpos\n" + std::string(FAST_GO) +
                         "setoption name OwnBook value true\nsetoption name OwnBook_Depth value 2\n"
                         "position startpos moves e2e4 c7c5\n" + FAST_GO);
    EXPECT_EQ(out.find("book move is"), std::string::npos) << out;
    EXPECT_EQ(out.find("book moves are"), std::string::npos) << out;

    // The fifty-move counter above 100: no probe. A book move into a repetition: discarded.
    out = session(books, "position fen 4k3/8/8/8/8/8/4P3/4K3 w - - 101 80\n" + std::string(FAST_GO) +
                         "position fen " + repeat_fen + " moves f3g1 c6b8 g1f3 b8c6 f3g1 c6b8 g1f3\n" + FAST_GO);
    EXPECT_EQ(out.find("book moves are: e2e4"), std::string::npos) << out;
    EXPECT_TRUE(has_line(out, "info string ( book moves are: b8c6  )")) << out;
    EXPECT_EQ(out.find("book move is"), std::string::npos) << out;
}

TEST(BookDriver, SecondBookAndItsDepth) {
    BookFiles books;
    write_entries(books.main_book, {entry_after({}, "d2d4")});
    write_entries(books.second_book, {entry_after({}, "c2c4"), entry_after({"d2d4"}, "g8f6")});
    const std::string second = "setoption name OwnBook2_File value " + books.second_book + "\n";
    // Main book first; where it has nothing, the second within its depth.
    std::string out = session(books, second + "setoption name OwnBook2_Depth value 2\nposition startpos\n" + FAST_GO +
                                         "position startpos moves d2d4\n" + FAST_GO);
    EXPECT_TRUE(has_line(out, "bestmove d2d4")) << out;
    EXPECT_TRUE(has_line(out, "info string book move is Nf6")) << out;
    // Beyond the main book's depth only the second book answers.
    out = session(books, second + "setoption name OwnBook_Depth value 0\nsetoption name OwnBook2_Depth value 1\n"
                                  "position startpos\n" + FAST_GO + "position startpos moves d2d4\n" + FAST_GO);
    EXPECT_TRUE(has_line(out, "bestmove c2c4")) << out;
    EXPECT_EQ(out.find("book move is Nf6"), std::string::npos) << out;
}
