// Polyglot book probing: the input is a book file. It is probed in memory for a handful of
// positions (entries whose key has an even low byte are given the probed position's key so
// that the fuzzer reaches the weights, the pick and the move decoding), then written to a file
// and probed the way the engine probes its book option.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "board/fen.h"
#include "book/book.h"
#include "book/polyglot.h"
#include "core/settings.h"
#include "fuzz_support.h"

namespace {

constexpr const char* POSITIONS[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 3",
    "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1",
    "bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 2 9",
    "4k3/1P6/8/8/8/8/6p1/4K3 b - - 0 1",
    "7k/8/8/8/8/8/8/K7 w - - 0 1",
};
constexpr int POSITION_COUNT = sizeof POSITIONS / sizeof POSITIONS[0];
constexpr size_t MAX_ENTRIES = 4096;

void check(bool ok) {
    if (!ok) abort();
}

bool is_legal_here(Position& pos, Move m) {
    Move legal[MAX_MOVES];
    const int n = fuzz_legal_moves(pos, legal, MAX_MOVES);
    for (int i = 0; i < n; i++)
        if (legal[i] == m) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz_start_engine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    fuzz_start_engine();
    const u8 control = data[0];
    data++, size--;
    static MoveHistory history;
    Position pos;
    pos.owner = &history;
    set_fen(pos, POSITIONS[control % POSITION_COUNT]);
    settings.chess960 = (control % POSITION_COUNT) == 3;
    const u64 key = polyglot_key(pos);

    std::vector<BookEntry> entries;
    for (size_t i = 0; i + BOOK_ENTRY_BYTES <= size && entries.size() < MAX_ENTRIES; i += BOOK_ENTRY_BYTES) {
        BookEntry e;
        book_entry_from_bytes(data + i, e);
        if (!(e.key & 1)) e.key = key;
        entries.push_back(e);
    }
    // Half the inputs are sorted as a book file should be; the others probe a file out of order.
    if (control & 0x80)
        std::stable_sort(entries.begin(), entries.end(),
                         [](const BookEntry& a, const BookEntry& b) { return a.key < b.key; });
    Book book = {entries.data(), u32(entries.size()), u32(size % BOOK_ENTRY_BYTES), true};
    for (size_t i = 1; i < entries.size(); i++) book.sorted &= entries[i - 1].key <= entries[i].key;

    BookRandom random = {u32(control) * 2654435761u, true};
    const int variety = (control >> 1) % 101;
    for (int probe = 0; probe < 3; probe++) {
        const Move m = probe_book_entries(pos, book, variety, random);
        check(m == 0 || is_legal_here(pos, m));
    }
    BookEntry found[BOOK_MAX_ENTRIES_PER_KEY];
    const int n = find_book_entries(book, key, found);
    check(n >= 0 && n <= BOOK_MAX_ENTRIES_PER_KEY);
    for (int i = 0; i < n; i++) check(found[i].key == key);

    // The engine's own probe of a book file, read from disk.
    const std::string path = fuzz_scratch_dir() + "fuzz.bin";
    if (!fuzz_write_file(path, data, size)) return 0;
    release_books();
    settings.book_variety = u8(variety);
    const Move m = probe_book(pos, path.c_str());
    check(m == 0 || is_legal_here(pos, m));
    settings.chess960 = 0;
    return 0;
}
