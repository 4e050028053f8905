// Book probing: the entries gathered for real books against independently read answers, the
// weighted pick and its variety, the 127-entry limit, and damaged or changing files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include "board/attacks.h"
#include "board/board_test_util.h"
#include "book/book.h"
#include "book/book_test_util.h"
#include "book/polyglot.h"
#include "core/settings.h"

using namespace board_test;
using namespace book_test;

namespace {

int sq(const char* name) { return make_square(name[0] - 'a', name[1] - '1'); }

u16 raw(const char* from, const char* to) { return u16((sq(from) << 6) | sq(to)); }

std::string entry_text(const BookEntry& e) {
    char squares[8];
    book_move_squares(e.move, squares);
    std::string text = squares;
    const int promotion = (e.move >> POLYGLOT_PROMOTION_SHIFT) & 7;
    if (promotion) text += " nbrq"[promotion];
    return text + ":" + std::to_string(e.weight);
}

// Keeps the settings a probe reads.
struct ProbeSettings {
    Settings saved = settings;
    ProbeSettings(int uci, int variety) {
        settings.uci_mode = u8(uci);
        settings.book_variety = u8(variety);
        settings.noise = 0;
    }
    ~ProbeSettings() { settings = saved; }
};

// For every row of an answer file: the gathered entries in order, the listed line, and a legal
// choice for many draws.
void check_probe_answers(const char* book_name, const char* answers_name) {
    const std::string book_path = shared_path(book_name), answers = shared_path(answers_name);
    BOOK_SHARED_OR_SKIP(book_path);
    BOOK_SHARED_OR_SKIP(answers);
    Book book;
    ASSERT_EQ(load_book(book, book_path.c_str()), 0);
    EXPECT_TRUE(book.sorted);
    EXPECT_EQ(book.trailing_bytes, 0u);
    ProbeSettings modes(1, 25);
    auto rows = read_csv(answers);
    ASSERT_GE(rows.size(), 40u);
    for (auto& row : rows) {
        auto b = make_board(row[0].c_str());
        const u64 key = polyglot_key(b->pos);
        EXPECT_EQ(key, std::stoull(row[1], nullptr, 16)) << row[0];
        BookEntry entries[BOOK_MAX_ENTRIES_PER_KEY];
        const int n = find_book_entries(book, key, entries);
        std::string gathered, listed = "info string ( book moves are: ";
        for (int i = 0; i < n; i++) {
            gathered += (i ? " " : "") + entry_text(entries[i]);
            char squares[8];
            book_move_squares(entries[i].move, squares);
            listed += std::string(squares) + " ";
        }
        listed += " )\n";
        const std::string expected = row.size() > 2 ? row[2] : "";
        EXPECT_EQ(gathered, expected) << row[0];
        BookRandom random = {0, true};
        for (int draw = 0; draw < 50; draw++) {
            Move m = MOVE_NONE;
            const std::string out = captured_output([&] { m = probe_book_entries(b->pos, book, 25, random); });
            if (n == 0) {
                EXPECT_EQ(m, MOVE_NONE);
                EXPECT_EQ(out, "");
                break;
            }
            EXPECT_EQ(out, listed) << row[0];
            ASSERT_NE(m, MOVE_NONE) << row[0];
            EXPECT_TRUE(is_legal(b->pos, b->pos.side, m)) << row[0];
        }
    }
    free_book(book);
}

BookEntry entry(u64 key, u16 move, u16 weight) { return BookEntry{key, move, weight, 0}; }

}  // namespace

TEST(BookProbe, SampleBookAnswers) { check_probe_answers("polyglot/sample.bin", "polyglot/sample_probe.csv"); }

TEST(BookProbe, GnuChessBookAnswers) {
    check_probe_answers("polyglot/gnuchess_book.bin", "polyglot/gnuchess_probe.csv");
}

TEST(BookProbe, PickFollowsTheReshapedWeights) {
    const BookEntry two[2] = {entry(1, 1, 100), entry(1, 2, 20)};
    BookPick pick;
    // Variety 25 keeps the weights: the shares are 100 : 20 of 10000.
    ASSERT_EQ(pick_book_entry(two, 2, 25, 0, pick), 0);
    EXPECT_EQ(pick.reshaped[0], 8333);
    EXPECT_EQ(pick.reshaped[1], 1666);
    // Variety 0: offset -25 drives the second below zero; no draw ever picks it.
    ASSERT_EQ(pick_book_entry(two, 2, 0, 0, pick), 0);
    EXPECT_EQ(pick.reshaped[1], 0);
    for (u32 draw = 0; draw < 1000; draw++) {
        pick_book_entry(two, 2, 0, draw, pick);
        EXPECT_EQ(pick.chosen, 0) << draw;
    }
    // Variety 100 adds 75 to both: 175 : 95.
    pick_book_entry(two, 2, 100, 0, pick);
    EXPECT_EQ(pick.reshaped[0], 14583);
    EXPECT_EQ(pick.reshaped[1], 7916);
    // Over all residues the picks follow the shares (r below the first share picks the first).
    int second = 0;
    for (u32 draw = 0; draw < 1000; draw++) {
        pick_book_entry(two, 2, 25, draw, pick);
        second += pick.chosen == 1;
    }
    EXPECT_NEAR(second, 1000 * 20 / 120, 2);

    // One entry always wins, at any variety; a zero weight is never played.
    const BookEntry one[1] = {entry(1, 1, 3)};
    const BookEntry zero_first[2] = {entry(1, 1, 0), entry(1, 2, 5)};
    for (int variety = 0; variety <= 100; variety += 5) {
        for (u32 draw = 0; draw < 1000; draw += 7) {
            pick_book_entry(one, 1, variety, draw, pick);
            EXPECT_EQ(pick.chosen, 0);
            pick_book_entry(zero_first, 2, variety, draw, pick);
            EXPECT_EQ(pick.chosen, 1) << variety << " " << draw;
        }
    }
    const BookEntry all_zero[2] = {entry(1, 1, 0), entry(1, 2, 0)};
    EXPECT_EQ(pick_book_entry(all_zero, 2, 25, 5, pick), -1);
}

TEST(BookProbe, OnlyTheFirst127EntriesOfAKeyCount) {
    TempDir dir;
    const std::string path = dir / "wide.bin";
    auto start = make_board(START_FEN);
    const u64 key = polyglot_key(start->pos);
    std::vector<BookEntry> entries = {entry(key - 1, raw("a2", "a3"), 1)};
    // 200 entries of the start position: 127 of weight 0, then the only playable ones.
    for (int i = 0; i < 200; i++) entries.push_back(entry(key, i < 127 ? raw("e2", "e4") : raw("d2", "d4"), i < 127 ? 0 : 9));
    entries.push_back(entry(key + 1, raw("a2", "a3"), 1));
    write_book(path, entries);
    Book book;
    ASSERT_EQ(load_book(book, path.c_str()), 0);
    BookEntry found[BOOK_MAX_ENTRIES_PER_KEY];
    EXPECT_EQ(find_book_entries(book, key, found), BOOK_MAX_ENTRIES_PER_KEY);
    ProbeSettings modes(1, 25);
    BookRandom random = {7, true};
    std::string out = captured_output([&] { EXPECT_EQ(probe_book_entries(start->pos, book, 25, random), MOVE_NONE); });
    EXPECT_EQ(out, "");  // all gathered weights are zero
    free_book(book);
}

TEST(BookProbe, ConsoleListingAndSelection) {
    TempDir dir;
    const std::string path = dir / "two.bin";
    auto start = make_board(START_FEN);
    const u64 key = polyglot_key(start->pos);
    write_book(path, {entry(key, raw("e2", "e4"), 100), entry(key, raw("d2", "d4"), 20)});
    Book book;
    ASSERT_EQ(load_book(book, path.c_str()), 0);
    ProbeSettings modes(0, 0);
    BookRandom random = {3, true};
    std::string out = captured_output([&] {
        EXPECT_EQ(probe_book_entries(start->pos, book, 0, random), make_move_code(sq("e2"), sq("e4")));
    });
    EXPECT_EQ(out, "  e2e4  cnt=   100, weight= 83.33% -> 100.00%\n"
                   "  d2d4  cnt=    20, weight= 16.67% ->  0.00%\n"
                   "selecting e2e4\n");
    settings.noise = 9999;
    out = captured_output([&] { probe_book_entries(start->pos, book, 0, random); });
    EXPECT_EQ(out, "");
    free_book(book);
}

TEST(BookProbe, DamagedFilesGiveNoMoveAndSayWhy) {
    TempDir dir;
    auto start = make_board(START_FEN);
    const u64 key = polyglot_key(start->pos);
    ProbeSettings modes(1, 25);
    // Shorter than one entry, and an entry plus 7 bytes: never a misaligned read.
    const std::string short_path = dir / "short.bin";
    write_file(short_path, std::string("\x46\x3b\x96\x18\x16\x91\xfc", 7));
    std::string out = captured_output([&] { EXPECT_EQ(probe_book(start->pos, short_path.c_str()), MOVE_NONE); });
    EXPECT_NE(out.find("holds no entries"), std::string::npos) << out;
    const std::string odd_path = dir / "odd.bin";
    write_book(odd_path, {entry(key, raw("e2", "e4"), 5)});
    {
        std::ofstream tail(odd_path, std::ios::binary | std::ios::app);
        tail << std::string(7, '\xff');
    }
    out = captured_output([&] { EXPECT_EQ(probe_book(start->pos, odd_path.c_str()), make_move_code(sq("e2"), sq("e4"))); });
    EXPECT_NE(out.find("last 7 bytes are ignored"), std::string::npos) << out;
    // Random bytes: no crash, no move unless one happens to be legal, a word about the order.
    const std::string noise_path = dir / "noise.bin";
    std::string bytes;
    u32 state = 12345;
    for (int i = 0; i < 16 * 5000 + 3; i++) bytes += char((state = state * 1103515245u + 12345u) >> 24);
    write_file(noise_path, bytes);
    out = captured_output([&] {
        Move m = probe_book(start->pos, noise_path.c_str());
        if (m) {
            EXPECT_TRUE(is_legal(start->pos, start->pos.side, m));
        }
    });
    EXPECT_NE(out.find("is not sorted"), std::string::npos) << out;
    // A missing file is reported once, not on every probe; an empty name is no book.
    const std::string missing = dir / "missing.bin";
    out = captured_output([&] {
        EXPECT_EQ(probe_book(start->pos, missing.c_str()), MOVE_NONE);
        EXPECT_EQ(probe_book(start->pos, missing.c_str()), MOVE_NONE);
        EXPECT_EQ(probe_book(start->pos, ""), MOVE_NONE);
    });
    EXPECT_EQ(out, "info string cannot open book file " + missing + "\n");
    // A directory is not a book.
    out = captured_output([&] { EXPECT_EQ(probe_book(start->pos, dir.path.c_str()), MOVE_NONE); });
    EXPECT_NE(out.find("cannot open book file"), std::string::npos);
    release_books();
}

TEST(BookProbe, ABookThatChangesOnDiskIsReadAgain) {
    TempDir dir;
    const std::string path = dir / "changing.bin";
    auto start = make_board(START_FEN);
    const u64 key = polyglot_key(start->pos);
    ProbeSettings modes(1, 25);
    write_book(path, {entry(key, raw("e2", "e4"), 5)});
    captured_output([&] { EXPECT_EQ(probe_book(start->pos, path.c_str()), make_move_code(sq("e2"), sq("e4"))); });
    // Same size, new content and time: the new move is played.
    write_book(path, {entry(key, raw("d2", "d4"), 5)});
    struct timespec times[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
    times[1].tv_sec = time(nullptr) + 10;
    times[1].tv_nsec = 0;
    utimensat(AT_FDCWD, path.c_str(), times, 0);
    captured_output([&] { EXPECT_EQ(probe_book(start->pos, path.c_str()), make_move_code(sq("d2"), sq("d4"))); });
    // Removed: no move; back again: played again.
    remove(path.c_str());
    captured_output([&] { EXPECT_EQ(probe_book(start->pos, path.c_str()), MOVE_NONE); });
    write_book(path, {entry(key, raw("c2", "c4"), 5)});
    captured_output([&] { EXPECT_EQ(probe_book(start->pos, path.c_str()), make_move_code(sq("c2"), sq("c4"))); });
    release_books();
}
