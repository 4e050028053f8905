// Opening-book probing: the entries of the position, their weights reshaped by the variety
// setting, a weighted random pick, and the legal move it stands for.
//
// Books are read into memory once and kept while the file stays the same: every probe compares
// the file's size and modification time with those of the copy in memory (a stat, no read), and
// reads the file again only when the name or the file changed. This gives the results of opening
// the file on every probe without reading a large book each move.
#pragma once

#include "board/position.h"
#include "book/book_file.h"

// The random source of the pick: state = state * 12345 + 76543 (32-bit) per draw. The engine
// keeps one for the process, seeded from the clock at its first probe; tests pass their own.
struct BookRandom {
    u32 state;
    bool seeded;
};
u32 next_book_random(BookRandom& random);

// The outcome of the weighted pick over one position's entries.
struct BookPick {
    int reshaped[BOOK_MAX_ENTRIES_PER_KEY];  // weights after the variety offset, scaled to 10000
    int total;                               // their sum
    int chosen;                              // index of the chosen entry, -1 when none can be
};

// Reshapes the weights of n entries by `variety` (0..100; 25 keeps the book's weights, more adds a
// share of the first entry's weight to every entry, less subtracts it) and picks one entry with
// the random value `draw` in proportion to the reshaped weights. Entries with weight 0 in the
// book, or whose reshaped weight is 0, are never picked. Returns 0, or -1 when the weights sum
// to 0 (nothing to pick).
int pick_book_entry(const BookEntry* entries, int n, int variety, u32 draw, BookPick& pick);

// Probes a book in memory for the side to move: gathers the position's entries, prints them
// (UCI: one "( book moves are: ... )" line; console: one line per entry and the selection,
// unless output is silenced), picks one with `random` and returns its legal move, or 0.
Move probe_book_entries(Position& pos, const Book& book, int variety, BookRandom& random);

// The engine's probe: the book at `path` (read when it is new or changed), settings.book_variety
// and the process's random source. Returns a legal move or 0. An unreadable or malformed file
// is reported once, until it changes.
Move probe_book(Position& pos, const char* path);
// Drops the books held in memory.
void release_books();
