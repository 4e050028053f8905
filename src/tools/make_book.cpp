#include "tools/make_book.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "board/fen.h"
#include "board/makemove.h"
#include "book/book_file.h"
#include "book/polyglot.h"
#include "core/output.h"
#include "tools/san.h"
#include "tools/tool_io.h"

namespace {

// A longer line is skipped whole; the game it belongs to then adds nothing more.
constexpr int PGN_LINE_SIZE = 16384;
// One "." is printed per this many games.
constexpr int GAMES_PER_PROGRESS_MARK = 1024;
// A move is written when wins + draws exceed both this and its losses.
constexpr u32 MIN_GOOD_RESULTS = 4;

// Statistics of one (position, move) pair.
struct MoveStat {
    u64 key;
    u32 wins, losses, draws;
    u32 seen;    // order in which the pairs were first met
    u32 weight;  // filled when the book is written
    u16 move;    // Polyglot move
    bool written;
};

// The pairs in the order first met, found through an open-addressing index.
struct StatTable {
    MoveStat* stats = nullptr;
    u32 count = 0, capacity = 0;
    u32* slots = nullptr;  // index + 1 into stats; 0 is empty
    u32 slot_mask = 0;
};

u32 slot_of(u64 key, u16 move, u32 mask) {
    u64 h = key ^ (u64(move) * 0x9E3779B97F4A7C15ull);
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    return u32(h >> 32) & mask;
}

// Doubles the index (and the record array when full); returns false when memory runs out.
bool grow(StatTable& t) {
    const u32 new_capacity = t.capacity ? t.capacity * 2 : 4096;
    if (new_capacity < t.capacity) return false;
    auto* stats = static_cast<MoveStat*>(realloc(t.stats, size_t(new_capacity) * sizeof(MoveStat)));
    if (!stats) return false;
    t.stats = stats;
    t.capacity = new_capacity;
    const u32 slot_count = new_capacity * 2;
    auto* slots = static_cast<u32*>(calloc(slot_count, sizeof(u32)));
    if (!slots) return false;
    free(t.slots);
    t.slots = slots;
    t.slot_mask = slot_count - 1;
    for (u32 i = 0; i < t.count; i++) {
        u32 s = slot_of(t.stats[i].key, t.stats[i].move, t.slot_mask);
        while (t.slots[s]) s = (s + 1) & t.slot_mask;
        t.slots[s] = i + 1;
    }
    return true;
}

// Adds one outcome (+1 won, 0 drawn, -1 lost for the side that moved); false when out of memory.
bool add_outcome(StatTable& t, u64 key, u16 move, int outcome) {
    if (t.count == t.capacity && !grow(t)) return false;
    u32 s = slot_of(key, move, t.slot_mask);
    while (t.slots[s]) {
        MoveStat& m = t.stats[t.slots[s] - 1];
        if (m.key == key && m.move == move) break;
        s = (s + 1) & t.slot_mask;
    }
    if (!t.slots[s]) {
        t.stats[t.count] = MoveStat{key, 0, 0, 0, t.count, 0, move, false};
        t.slots[s] = ++t.count;
    }
    MoveStat& m = t.stats[t.slots[s] - 1];
    if (outcome > 0) m.wins++;
    else if (outcome < 0) m.losses++;
    else m.draws++;
    return true;
}

void free_table(StatTable& t) {
    free(t.stats);
    free(t.slots);
    t = StatTable{};
}

enum GameResult { NO_RESULT, WHITE_WON, BLACK_WON, DRAWN };

struct GameReader {
    MoveHistory history;
    Position pos;
    GameResult result;
    bool failed;           // a move could not be read: the rest of the game is ignored
    bool fen_in_tags;      // the current tag section names a start position
    bool in_move_text;     // move text was seen since the last tag line
    int plies;
    int comment_depth;
    int variation_depth;
    int games;
};

void start_game(GameReader& g, const char* result) {
    g.games++;
    if (g.games % GAMES_PER_PROGRESS_MARK == 0) print_text(".");
    g.pos.owner = &g.history;
    set_fen(g.pos, START_FEN);
    if (!strncmp(result, "1-0", 3)) g.result = WHITE_WON;
    else if (!strncmp(result, "0-1", 3)) g.result = BLACK_WON;
    else if (!strncmp(result, "1/2", 3)) g.result = DRAWN;
    else g.result = NO_RESULT;
    if (g.fen_in_tags) g.result = NO_RESULT;
    g.failed = false;
    g.plies = 0;
    g.comment_depth = 0;
    g.variation_depth = 0;
}

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Reads one move token (a move number glued in front and annotation marks after it allowed) and
// adds it. Returns false when memory runs out.
bool read_move_token(GameReader& g, StatTable& table, const char* token) {
    if (token[0] == '$' || !strcmp(token, "e.p.")) return true;
    const char* start = nullptr;
    for (const char* p = token; *p && !start; p++)
        if (is_letter(*p) || !strncmp(p, "0-0", 3)) start = p;
    if (!start) return true;  // move numbers, results
    Move move = MOVE_NONE;
    if (!read_san(g.pos, start, &move)) {
        g.failed = true;
        return true;
    }
    const int mover = g.pos.side;
    const u64 key = polyglot_key(g.pos);
    const u16 book_move = polyglot_move(g.pos, move);
    make_game_move(g.pos, move);
    g.plies++;
    int outcome = 0;
    if (g.result == WHITE_WON) outcome = mover == WHITE ? 1 : -1;
    if (g.result == BLACK_WON) outcome = mover == BLACK ? 1 : -1;
    return add_outcome(table, key, book_move, outcome);
}

// Splits a line of move text into tokens; braces and parentheses are tokens of their own, a ';'
// outside a comment ends the line. Tokens inside comments or variations are skipped.
bool read_move_text(GameReader& g, StatTable& table, const char* line) {
    char token[64];
    int n = 0;
    for (const char* p = line;; p++) {
        const unsigned char c = static_cast<unsigned char>(*p);
        const bool ends_line = c == 0 || (c == ';' && g.comment_depth == 0);
        const bool separator = ends_line || c <= ' ' || strchr("{}()", c);
        if (!separator) {
            if (n < int(sizeof token) - 1) token[n++] = char(c);
            continue;
        }
        if (n > 0) {
            token[n] = 0;
            n = 0;
            if (g.comment_depth == 0 && g.variation_depth == 0 && !g.failed && !read_move_token(g, table, token))
                return false;
        }
        if (ends_line) return true;
        // Inside a comment only its closing brace counts.
        if (c == '{') g.comment_depth++;
        else if (c == '}' && g.comment_depth > 0) g.comment_depth--;
        else if (g.comment_depth == 0 && c == '(') g.variation_depth++;
        else if (g.comment_depth == 0 && c == ')' && g.variation_depth > 0) g.variation_depth--;
    }
}

// The value of a tag line `[Name "value"]` when the line is that tag, else nullptr.
const char* tag_value(const char* line, const char* name) {
    const size_t len = strlen(name);
    if (line[0] != '[' || strncmp(line + 1, name, len) || line[len + 1] != ' ') return nullptr;
    const char* v = line + len + 2;
    while (*v == ' ' || *v == '"') v++;
    return v;
}

// Writes the moves of one key (the run [first, end) of the sorted statistics); returns the
// number of entries written, or -1 on a write error.
int write_key(FILE* out, MoveStat* first, MoveStat* end) {
    i64 best = 0;
    bool any = false;
    for (MoveStat* m = first; m < end; m++) {
        m->written = m->wins + m->draws > std::max(MIN_GOOD_RESULTS, m->losses);
        if (!m->written) continue;
        const i64 score = 4 * i64(m->wins) - 2 * i64(m->losses) + i64(m->draws);
        if (!any || score > best) best = score;
        any = true;
        m->weight = u32(score < 0 ? 0 : score);
    }
    if (!any) return 0;
    // Scaled down only when the best score exceeds the largest weight (so never by a score of 0
    // or below); weight = score x 60000 / best, truncated.
    if (best > BOOK_BUILD_MAX_WEIGHT)
        for (MoveStat* m = first; m < end; m++)
            if (m->written) m->weight = u32(i64(m->weight) * BOOK_BUILD_MAX_WEIGHT / best);
    std::sort(first, end, [](const MoveStat& a, const MoveStat& b) {
        if (a.written != b.written) return a.written;
        if (a.weight != b.weight) return a.weight > b.weight;
        return a.seen < b.seen;
    });
    int written = 0;
    for (MoveStat* m = first; m < end && m->written; m++, written++)
        if (write_book_entry(out, BookEntry{m->key, m->move, u16(m->weight), 0}) != 0) return -1;
    return written;
}

int write_book(StatTable& table, const char* book_path, const char* pgn_path, int* entries) {
    *entries = 0;
    FILE* out = open_tool_output(book_path, "wb", pgn_path);
    if (!out) return 1;
    MoveStat* stats = table.stats;
    std::sort(stats, stats + table.count, [](const MoveStat& a, const MoveStat& b) {
        return a.key != b.key ? a.key < b.key : a.seen < b.seen;
    });
    int rc = 0;
    for (u32 i = 0; i < table.count && rc == 0;) {
        u32 j = i;
        while (j < table.count && stats[j].key == stats[i].key) j++;
        const int n = write_key(out, stats + i, stats + j);
        if (n < 0) rc = 1;
        else *entries += n;
        i = j;
    }
    if (fclose(out) != 0) rc = 1;
    if (rc) tool_message("can't write %s", book_path);
    return rc;
}

}  // namespace

int make_book(const char* pgn_path, const char* book_path) {
    FILE* in = open_tool_input(pgn_path, "rb");
    if (!in) return 1;
    print_line(" Creating file %s from games in %s", book_path, pgn_path);
    auto* game = static_cast<GameReader*>(calloc(1, sizeof(GameReader)));
    auto* line = static_cast<char*>(malloc(PGN_LINE_SIZE));
    auto* lines = static_cast<LineReader*>(malloc(sizeof(LineReader)));
    StatTable table;
    bool out_of_memory = !game || !line || !lines;
    if (game) game->result = NO_RESULT;
    if (lines) line_reader_open(*lines, in);
    int length = 0;
    while (!out_of_memory && (length = read_line(*lines, line, PGN_LINE_SIZE)) != -1) {
        GameReader& g = *game;
        const bool too_long = length == -2;
        if (too_long) line[0] = 0;
        const char* text = line;
        if (text[0] == '[' && g.comment_depth == 0) {
            if (g.in_move_text) g.fen_in_tags = false;
            g.in_move_text = false;
        }
        if (const char* result = tag_value(text, "Result")) {
            start_game(g, result);
        } else if (tag_value(text, "FEN")) {
            g.fen_in_tags = true;
            g.result = NO_RESULT;
        } else if (g.result != NO_RESULT && !g.failed && g.plies < BOOK_BUILD_PLIES && text[0] != '%' &&
                   (g.comment_depth > 0 || (text[0] != ';' && text[0] != '['))) {
            g.in_move_text = true;
            if (too_long) g.failed = true;
            else if (!read_move_text(g, table, text)) out_of_memory = true;
        } else if (text[0] != '[') {
            g.in_move_text = true;
        }
    }
    fclose(in);
    const int games = game ? game->games : 0;
    free(game);
    free(line);
    free(lines);
    if (out_of_memory) {
        tool_message("not enough memory for the book statistics; no book written");
        free_table(table);
        return 1;
    }
    print_line("\nwriting book file ...");
    int entries = 0;
    const int rc = write_book(table, book_path, pgn_path, &entries);
    print_line("\nngames= %d, nmoves= %d", games, int(table.count));
    print_line("book contains %d moves", entries);
    print_line("done");
    free_table(table);
    return rc;
}
