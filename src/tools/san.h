// Standard algebraic notation as PGN files write it: reading every common form (piece letters,
// file, rank or full-square disambiguation, captures with or without 'x', promotions with or
// without '=', castling with letters or zeros, check and annotation marks) and writing the
// shortest unambiguous form with "+" and "#".
#pragma once

#include "board/position.h"

constexpr int SAN_TEXT = 16;

// Finds the legal move of the side to move that `text` names. Returns 1 and sets *out on a
// unique match, 0 when no legal move or more than one matches (nothing is printed).
int read_san(Position& pos, const char* text, Move* out);

// Writes the move (legal, of the side to move) in standard algebraic notation into out
// (SAN_TEXT bytes). The position is left unchanged.
void write_san(Position& pos, Move move, char* out);
