// The evaluation entry and the hand-crafted evaluation. Scores are centipawns from the point of
// view of the side to move.
#pragma once

#include "board/position.h"
#include "eval/eval_state.h"

// Scores a position for the search: special endgames, the per-thread cache, the evaluation
// proper and contempt. `side` is the side to move, `ply` the distance from the root (the root
// calls with 1); in check it returns ply - 10000 without evaluating.
int evaluate(Position& pos, EvalState& es, int side, int ply, bool in_check);

// The hand-crafted evaluation. Reads the pawn hash only when es.scratch.level >= 2.
int evaluate_hce(Position& pos, EvalState& es);

// Pieces of `colour` pinned to their king, or to their lowest-square queen by a bishop or rook.
u64 find_pinned(const Position& pos, int colour);

// Network scores are damped by a quarter when only minors and pawns remain and the two sides'
// single bishops run on squares of different colours.
int damp_opposite_bishops(const Position& pos, int score);

// The contempt in favour of the root side: larger with more material on the board, from the
// Contempt option and the contempt bias. The entry adds it for the root side, subtracts it
// for the other.
int contempt_adjustment(const Position& pos);

// Prints, once per process, that no network is available when the network was asked for.
void eval_startup_note();

// Prepares a new thread's evaluation state: the network storage sized for the loaded network.
// Returns 0, or -1 when memory runs out. eval_state_release frees it.
int eval_state_init(EvalState& es);
void eval_state_release(EvalState& es);

// Special endgame scores, for the side to move.
int mop_up_score(const Position& pos);                 // rook or queen against a bare king
int bishop_knight_score(const Position& pos, int strong);
int king_pawn_score(const Position& pos, int strong);
