#include "book/book.h"

#include <cstring>
#include <ctime>

#include "board/tables.h"
#include "book/polyglot.h"
#include "core/output.h"
#include "core/settings.h"
#include "platform/platform.h"

namespace {

// The variety at which the book's own weights are used unchanged.
constexpr int NEUTRAL_VARIETY = 25;
// Reshaped weights are scaled so that the book's weights sum to this.
constexpr int RESHAPE_SCALE = 10000;
// The console lists the entries unless the noise setting is at least this.
constexpr float BOOK_LISTING_NOISE_LIMIT = 9999.0f;

const char* info_prefix() { return settings.uci_mode ? "info string " : ""; }

void print_entries(const BookEntry* entries, int n, const BookPick& pick, int sum) {
    char squares[8];
    if (settings.uci_mode) {
        char line[BOOK_MAX_ENTRIES_PER_KEY * 5 + 64] = "info string ( book moves are: ";
        for (int i = 0; i < n; i++) {
            if (!entries[i].weight) continue;
            book_move_squares(entries[i].move, squares);
            strcat(line, squares);
            strcat(line, " ");
        }
        strcat(line, " )");
        print_line("%s", line);
        return;
    }
    if (settings.noise >= BOOK_LISTING_NOISE_LIMIT) return;
    for (int i = 0; i < n; i++) {
        if (!entries[i].weight) continue;
        book_move_squares(entries[i].move, squares);
        const double share = 100.0 * entries[i].weight / sum;
        const double reshaped = pick.total ? 100.0 * pick.reshaped[i] / pick.total : 0.0;
        print_line("  %s  cnt= %5d, weight= %5.2f%% -> %5.2f%%", squares, int(entries[i].weight), share, reshaped);
    }
}

// Cached books: the engine probes at most two files (OwnBook_File, OwnBook2_File), and the
// console command that lists a position's entries probes the same two.
constexpr int CACHED_BOOKS = 2;
constexpr int BOOK_PATH_SIZE = 160;

struct CachedBook {
    char path[BOOK_PATH_SIZE];
    bool present;           // a stamp was taken (the file existed at the last look)
    bool loaded;            // book holds the file as of that stamp
    bool missing_reported;  // the file is missing and that was said
    u64 size;
    i64 modified_ns;
    u64 last_use;
    Book book;
};

CachedBook cache[CACHED_BOOKS];
u64 use_counter = 0;
BookRandom process_random = {0, false};

// The slot for `path`: the one that holds it, else the one used least recently.
CachedBook& slot_for(const char* path) {
    CachedBook* oldest = &cache[0];
    for (CachedBook& c : cache) {
        if (c.path[0] && !strcmp(c.path, path)) return c;
        if (c.last_use < oldest->last_use) oldest = &c;
    }
    free_book(oldest->book);
    *oldest = CachedBook{};
    copy_field(oldest->path, BOOK_PATH_SIZE, path);
    return *oldest;
}

// The book of `path` as the file is now, or nullptr when it cannot be read. Problems are
// reported when they are first seen.
const Book* current_book(const char* path) {
    if (strlen(path) >= BOOK_PATH_SIZE) return nullptr;
    CachedBook& c = slot_for(path);
    c.last_use = ++use_counter;
    u64 size = 0;
    i64 modified = 0;
    if (platform::file_stamp(path, &size, &modified) != 0) {
        if (!c.missing_reported) print_line("%scannot open book file %s", info_prefix(), path);
        free_book(c.book);
        c.present = c.loaded = false;
        c.missing_reported = true;
        return nullptr;
    }
    c.missing_reported = false;
    if (c.present && c.size == size && c.modified_ns == modified) return c.loaded ? &c.book : nullptr;
    free_book(c.book);
    c.present = true;
    c.size = size;
    c.modified_ns = modified;
    const int rc = load_book(c.book, path);
    c.loaded = rc == 0;
    if (rc == 1) print_line("%scannot read book file %s", info_prefix(), path);
    if (rc == 2) print_line("%snot enough memory to read book file %s", info_prefix(), path);
    if (!c.loaded) return nullptr;
    if (c.book.count == 0) print_line("%sbook file %s holds no entries", info_prefix(), path);
    if (c.book.trailing_bytes)
        print_line("%sbook file %s ends inside an entry; its last %u bytes are ignored", info_prefix(), path,
                   unsigned(c.book.trailing_bytes));
    if (!c.book.sorted)
        print_line("%sbook file %s is not sorted by key; some of its entries cannot be found", info_prefix(), path);
    return &c.book;
}

}  // namespace

u32 next_book_random(BookRandom& random) {
    random.state = random.state * 12345u + 76543u;
    return random.state;
}

int pick_book_entry(const BookEntry* entries, int n, int variety, u32 draw, BookPick& pick) {
    pick.total = 0;
    pick.chosen = -1;
    int sum = 0;
    for (int i = 0; i < n; i++) sum += entries[i].weight;
    if (n <= 0 || sum == 0) return -1;
    const int offset = int(double(variety - NEUTRAL_VARIETY) * entries[0].weight * 0.01);
    for (int i = 0; i < n; i++) {
        const int w = (int(entries[i].weight) + offset) * RESHAPE_SCALE / sum;
        pick.reshaped[i] = w < 0 ? 0 : w;
        pick.total += pick.reshaped[i];
    }
    const int r = int(double(draw % 1000) * 0.001 * pick.total);
    // The chosen entry is the one in whose share of the running sum r falls. When r is 0 no share
    // lies below it, and the first entry that can be played is taken.
    int running = 0;
    for (int i = 0; i < n; i++) {
        if (!entries[i].weight) continue;
        if (running < r) pick.chosen = i;
        running += pick.reshaped[i];
    }
    if (pick.chosen < 0) {
        for (int i = 0; i < n && pick.chosen < 0; i++)
            if (entries[i].weight && pick.reshaped[i]) pick.chosen = i;
        for (int i = 0; i < n && pick.chosen < 0; i++)
            if (entries[i].weight) pick.chosen = i;
    }
    return 0;
}

Move probe_book_entries(Position& pos, const Book& book, int variety, BookRandom& random) {
    BookEntry entries[BOOK_MAX_ENTRIES_PER_KEY];
    const int n = find_book_entries(book, polyglot_key(pos), entries);
    if (n == 0) return MOVE_NONE;
    int sum = 0;
    for (int i = 0; i < n; i++) sum += entries[i].weight;
    if (sum == 0) return MOVE_NONE;
    if (!random.seeded) {
        random.state = u32(time(nullptr)) ^ u32(platform::realtime_nanoseconds());
        random.seeded = true;
    }
    BookPick pick;
    pick_book_entry(entries, n, variety, next_book_random(random), pick);
    print_entries(entries, n, pick, sum);
    if (pick.chosen < 0) return MOVE_NONE;
    const u16 raw = entries[pick.chosen].move;
    const Move move = decode_book_move(pos, raw);
    if (!settings.uci_mode && settings.noise < BOOK_LISTING_NOISE_LIMIT) {
        char squares[8];
        if (move) {
            strcpy(squares, SquareNames[move_from(move)]);
            strcat(squares, SquareNames[move_to(move)]);
        } else {
            book_move_squares(raw, squares);
        }
        print_line("selecting %s", squares);
    }
    return move;
}

Move probe_book(Position& pos, const char* path) {
    if (!path || !path[0]) return MOVE_NONE;
    const Book* book = current_book(path);
    if (!book) return MOVE_NONE;
    return probe_book_entries(pos, *book, settings.book_variety, process_random);
}

void release_books() {
    for (CachedBook& c : cache) {
        free_book(c.book);
        c = CachedBook{};
    }
}
