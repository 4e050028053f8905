// The global records shared by all layers: Settings (every option and tool argument) and
// SearchControl (the state of the running search). Both are plain records; the engine layer
// fills them, lower layers only read the fields they need.
#pragma once

#include <atomic>

#include "core/types.h"

struct Settings {
    u8 quit;
    float noise;
    float learning_rate;
    u32 train_positions;
    u32 minibatch;
    u8 trace;
    u8 debug_display;
    char epd_file[150];
    char pgn_file[150];
    char out_file[150];
    u64 tag_key;
    u8 uci_mode;
    float calibration_nps;
    float calibration_elo;
    u64 node_limit;
    i8 depth_limit;
    i8 tc_moves;
    float tc_time;
    float increment;
    u32 hash_mb;
    i16 threads;
    u8 use_nn;
    u16 move_overhead;
    u8 ponder;
    u8 chess960;
    u8 multipv;
    u8 show_wdl;  // UCI_ShowWDL: info lines with a score carry "wdl W D L"
    u8 limit_strength;
    i16 elo;
    u8 log;
    u8 own_book;
    u8 book_variety;
    u8 book_depth;
    u8 book2_depth;
    char nn_file[150];
    char config_file[144];
    char book_file[144];
    char book2_file[144];
    char syzygy_path[144];
    i8 probe_depth6;
    i8 probe_depth7;
    i16 opponent_elo;
    i16 contempt;
    i16 selectivity;
    i16 contempt_bias;
    i16 SEP_depth;
    i16 NMP_depth;
    i16 FP_depth;
    i16 LMP_depth;
    i16 LMR_depth;
    // Tool arguments that have no option row.
    char train_file[150];
    u32 selfplay_games;      // -selfplay: games to play
    u64 random_seed;         // -seed: makes a generator run repeatable
    u8 seed_given;
    char openings_file[150]; // -openings: EPD start positions for the generator
    i16 random_plies;        // -random_plies: random plies before a game; -1 for the default
    u16 train_epochs;        // -epochs
    u16 train_hidden;        // -hidden: hidden units of a network trained from scratch
    u8 train_resume;         // -train ... 1: continue from the NN_File network
    u16 variations;          // -variations: -mktraindata labels this many variations of a line
    u8 scan_quiet_only;      // -scan_quiet: -scan_pgn leaves out checks, captures and promotions
    char prune_out_file[150];  // -prune_nn: where the pruned network goes ("pruned.bin" when empty)
};

// The "noise" value that turns every information line off.
constexpr float NOISE_SILENT = 99999.0f;
// The MultiPV option's largest value.
constexpr int MAX_MULTIPV = 255;

// search_state bits.
constexpr int SEARCH_THINKING = 1;
constexpr int SEARCH_PONDERING = 2;
constexpr int SEARCH_FINISHED = 64;
constexpr int SEARCH_GO = 16;
constexpr int SEARCH_GO_PONDER = 32;
constexpr int SEARCH_STOP_REQUESTED = 128;

struct SearchControl {
    std::atomic<int> search_state;
    std::atomic<u8> stop;
    float clock[2];  // seconds left for White and Black
    int movestogo;
    u8 hash_age;
    float hashfull;
    u8 hash_in_use;
    double target_nps;
    u8 nps_limited;
    u8 root_side;     // side to move at the root of the current search
    i16 game_plies;   // history count of the game position (moves since the last FEN)

    // Set by "go" for the next search.
    u8 infinite;            // "go infinite": a finished search waits for "stop" before answering
    i16 mate_moves;         // "go mate N": the search ends once a mate in N moves is proven; 0 for none
    i16 root_filter_count;  // "go searchmoves": the root searches only these moves (0: all moves)
    Move root_filter[MAX_MOVES];

    // Search bookkeeping, reset by every search start.
    double start_time;     // monotonic seconds at search start
    float target_time;     // time budget of this move in seconds
    float elapsed;         // seconds since search start
    i8 depth;              // the main search thread's iteration depth
    i8 result_depth;       // depth of the published result
    u8 last_depth;         // last iteration the main search thread completed (EPD statistics)
    u8 seldepth;           // highest ply reached by the main search thread
    i16 score;             // published score
    u8 score_bound;        // what the published score is: exact, or a bound of an aspiration try (search/tt.h)
    Move pv[PV_LENGTH];    // published principal variation: pv[1] best move, pv[2] ponder move
    i16 root_eval[2];      // root evaluation; the second copy becomes the root quiescence score
    i8 best_change_depth;  // result depth at which the published best move last changed
    u8 single_reply;       // the root has exactly one legal move
    u8 ended_by_itself;    // the root search ended the search (depth limit, mate, special root), not a stop
    i16 score_by_depth[PV_LENGTH];
    u64 nodes_by_depth[PV_LENGTH];
    u64 totals[8];         // counters summed over the search threads
    Move multipv_move[MAX_MULTIPV];
    i16 multipv_score[MAX_MULTIPV];
    i32 root_tb;           // root tablebase result 0..4, -1 for none
    Move book_move;
    i8 age_direction;      // the table age walks up and down between 0 and 31
};

// search_state bit set while the benchmark runs (contempt is off then).
constexpr int SEARCH_BENCH = 4;

extern Settings settings;
extern Settings settings_snapshot;
extern SearchControl search_control;

// Copies a string into a fixed field, cutting it to the field size minus one.
void copy_field(char* dst, int size, const char* src);
template <int N>
inline void set_field(char (&dst)[N], const char* src) { copy_field(dst, N, src); }
