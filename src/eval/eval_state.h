// Per-thread state of the evaluation: the work area of the hand-crafted evaluation (read back by
// the trace), the pawn hash, the evaluation cache and the counters. The engine embeds one
// EvalState in every thread record; the evaluation functions receive it explicitly.
#pragma once

#include <cstddef>

#include "core/types.h"
#include "eval/params.h"

// Groups of terms whose per-colour contributions the trace shows.
enum TraceGroup : int {
    TG_PAWNS, TG_KNIGHTS, TG_BISHOPS, TG_ROOKS, TG_QUEENS, TG_KING, TG_PASSED, TG_THREATS, TG_SPECIAL,
    TG_COUNT
};

struct EvalScratch {
    float phase;              // 1.0 pure middle game, towards 0 in the end game
    u64 king_zone[2];         // 3x3 block around each king, moved inwards off the edge
    u64 attacks[2];           // every square the colour attacks
    u64 pawn_attacks[2];
    u64 knight_attacks[2];
    u64 bishop_attacks[2];
    u64 rook_attacks[2];
    u64 queen_attacks[2];
    u64 king_attacks[2];
    u64 double_attacks[2];    // attacked at least twice
    u64 by_pawns_minors[2];
    u64 by_pawns_minors_rooks[2];
    u64 by_non_king[2];
    u64 outposts[2];
    u64 all_pawns;
    u64 passed;               // passed pawns of both colours
    ScorePair acc[2];         // White's and Black's accumulated terms
    i32 king_attack[2];       // attack counter against each colour's king
    u8 frame[2];              // XORed into a square before a piece-square lookup
    u64 hung;                 // pieces scored as hanging (for the trace)
    u64 free_passers;         // passed pawns scored as free (for the trace)
    u8 recording;             // set by the trace: fill `deltas`
    ScorePair deltas[2][TG_COUNT];
    i16 level;                // ply given to the evaluation entry; the pawn hash is read from 2 on
};

struct PawnHashEntry {
    u64 key;
    u64 scores;  // White's pawn ScorePair in the low 32 bits, Black's in the high 32 bits
};

struct EvalCacheEntry {
    u64 key;
    i16 score;
};

// The network's per-thread state: the working accumulators and the accumulator cache of the
// last evaluated position. One block holds both, sized from the loaded network's H when the
// thread record is made and resized when a network of another H is loaded (nn_reserve).
struct NnState {
    i16* block;             // 4 x capacity entries: acc W, acc K, cached W, cached K
    size_t block_bytes;
    int capacity;           // accumulator entries per perspective the block holds
    i16* acc[2];            // working accumulators (W, K), activated by the output step
    i16* cached[2];         // pre-activation accumulators of the cached position
    u64 cached_pieces[16];  // that position's bitboards, indexed like Position::pieces
    u8 cached_mirror[2];    // square mappings (XOR masks) of W and K
    u16 cached_bucket[2];   // king-bucket offsets of W and K
    int cached_ply;
    u8 cache_valid;
    u64 net_generation;     // the network the cache was built with
    int out_bucket;         // output bucket of the last evaluation
    float raw_output;       // the last output before scaling to centipawns
    u64 updates;            // evaluations that brought the cache up to date by differences
    u64 rebuilds;           // evaluations that rebuilt the accumulators from the biases
};

constexpr int PAWN_HASH_SIZE = 8192;
constexpr int EVAL_CACHE_SIZE = 16384;

struct EvalState {
    EvalScratch scratch;
    PawnHashEntry pawn_hash[PAWN_HASH_SIZE];
    EvalCacheEntry cache[EVAL_CACHE_SIZE];
    u64 evals;        // evaluations requested through the entry
    u64 cache_hits;
    u64 pawn_probes;
    u64 pawn_hits;
    int ply;          // ply of the last evaluation (read by the network's accumulator cache)
    u64 cache_generation;  // network generation and use_nn that the evaluation cache holds
    NnState nn;
};
