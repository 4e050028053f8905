// Attack questions, legality, move classification and draw detection.
#pragma once

#include "board/position.h"

bool is_attacked(const Position& pos, int square, int by_side);
// Least valuable piece of `side` inside `occupied` attacking `square`; 64 if none.
int least_attacker(const Position& pos, int square, int side, u64 occupied);
// Whether a pseudo-legal move of `side` leaves its own king safe (0 is never legal).
bool is_legal(Position& pos, int side, Move move);

// Whether a pseudo-legal move of `side` gives check: directly by the moved piece on its new
// square (the promotion piece, the rook of a castling), or by uncovering a line.
bool gives_check(const Position& pos, int side, Move move);

constexpr int MF_CAPTURE = 1;
constexpr int MF_CHECK = 2;
constexpr int MF_PROMOTION_RANK = 4;
constexpr int MF_SEVENTH_RANK = 8;
constexpr int MF_SIXTH_RANK_PUSH = 16;
int move_flags(Position& pos, int side, const MoveEntry& entry);
// Quiet for pruning and reductions: none of the flags above.
constexpr int MF_NOT_QUIET = 0x3F;
constexpr bool is_quiet_move(int flags) { return (flags & MF_NOT_QUIET) == 0; }

// The first legal move of the side to move in generation order, or 0 when it has none.
Move first_legal_move(Position& pos);
// Whether `move` is one the generator produces for the side to move and is legal: the test for
// moves from outside (a game file, a book, the search's line) that may name any squares.
bool is_generated_legal_move(Position& pos, Move move);

// Fifty-move rule or repetition; plies_from_root is 0 outside the search.
bool is_draw(Position& pos, int plies_from_root);

// The square of a piece giving check to the side to move, or 64.
inline int checker_square(const Position& pos) {
    return least_attacker(pos, pos.king_sq[pos.side], pos.side ^ 1, pos.pieces[0] | pos.pieces[8]);
}
