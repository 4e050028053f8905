// The transposition table: one table shared by all search threads without a lock. Entries are
// 16 bytes; the table is split into two halves by side to move, and a position's bucket is the
// four consecutive entries from (key & mask) of its half, unaligned, so neighbouring keys share
// entries. A check word ties score and move to the key so that torn writes read as misses.
#pragma once

#include "board/position.h"

struct TTEntry {
    u32 lock;   // upper 32 bits of the key
    u32 check;  // (score + 10000 + (move << 16)) ^ lower 32 bits of the key
    Move move;
    i16 eval;
    i16 score;  // mate scores relative to the node
    i8 depth;
    u8 flags;  // bits 5-6 bound (1 upper, 2 lower, 3 exact), bits 0-4 age
};
static_assert(sizeof(TTEntry) == 16, "entries are 16 bytes");

constexpr int BOUND_UPPER = 1;
constexpr int BOUND_LOWER = 2;
constexpr int BOUND_EXACT = 3;

struct TranspositionTable {
    TTEntry* block;    // N + 16 entries, or null
    u32 entries;       // N
    TTEntry* half[2];  // bases of the White-to-move and Black-to-move halves
    u32 mask;          // largest power of two not above N / 2, minus one
};
extern TranspositionTable tt;

// Frees the old block and allocates one of `mb` megabytes. When that fails, smaller sizes are
// tried (halving) and the size obtained is written to *got_mb; the table is then cleared.
// Returns 1 on success (also for 0 MB, which leaves no table), 0 when nothing could be had.
int tt_allocate(unsigned mb, unsigned* got_mb);
void tt_free();
// Zeroes the table, in parallel slices when there are several search threads and it is large.
void tt_clear(int threads);

// The thread counters (probes, hits) are passed by the caller; null skips counting.
void tt_store(const Position& pos, int ply, int depth, Move move, int eval, int score, int alpha, int beta);
int tt_probe(Position& pos, int* score, int* eval, int* depth, Move* move, int* bound, u64* counters);

// Plausibility code of a stored move for the position: 0 when usable, else the first failing
// test (1 same squares, 2 empty origin or king victim, 3 wrong colour, 4 own piece captured,
// 6 flags, 7 pawn, 8 knight, 9 bishop, 10 rook, 11 queen, 12 castling, 13 king step, 14 illegal).
int tt_move_code(Position& pos, Move move);

// Share of the first 1000 entries written in the current search (0 for small tables).
float tt_hashfull_fraction();
// Stores the hashfull figure in SearchControl for an info line at `depth`.
void tt_hashfull(int depth);
// Extends pv (indexed by ply, 0-terminated) from the table, making and unmaking the moves.
void tt_fill_pv(Position& pos, int ply, Move* pv);

// Mate-score conversion between node-relative (stored) and root-relative (searched) values.
inline int score_to_tt(int score, int ply) {
    return is_win_score(score) ? score + ply : is_loss_score(score) ? score - ply : score;
}
inline int score_from_tt(int score, int ply) {
    return is_loss_score(score) ? score + ply : is_win_score(score) ? score - ply : score;
}
