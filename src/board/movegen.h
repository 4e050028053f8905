// Pseudo-legal move generators. Each appends to `out` and returns the pointer after the last
// entry written; none writes the terminator except gen_all_moves.
#pragma once

#include "board/position.h"

MoveEntry* gen_captures(const Position& pos, int side, MoveEntry* out, int target);
MoveEntry* gen_promotions(const Position& pos, int side, int all, MoveEntry* out);
MoveEntry* gen_seventh_pushes(const Position& pos, int side, MoveEntry* out);
MoveEntry* gen_quiets(const Position& pos, int side, MoveEntry* out, int checker);
MoveEntry* gen_pawn_pushes(const Position& pos, int side, u64 targets, u64 occupied, MoveEntry* out);
MoveEntry* gen_queen_moves(const Position& pos, int side, u64 targets, u64 occupied, MoveEntry* out);

// All pseudo-legal moves of the side to move in the standard order, terminated by MOVE_END.
// `out` must hold MAX_MOVES entries. Returns the number of moves (terminator excluded).
int gen_all_moves(const Position& pos, MoveEntry* out);
