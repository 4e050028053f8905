// Sanity checks for positions entering from outside (FEN, EPD, PGN).
#pragma once

#include "board/position.h"

// Returns 0 when the position is one the engine can work with; otherwise nonzero and a short
// reason in `why` (at least 80 bytes). Checks: exactly one king per side, no pawns on the first
// or eighth rank, at most 16 pieces and 8 pawns per side, the side not to move not in check;
// also that board bytes and bitboards agree, that every castling right has its king and rook,
// and that the en-passant square is one sanitize_ep_square would keep (call that first to be
// lenient about en-passant fields). A position that passes is safe for every board routine.
int validate_position(const Position& pos, char* why);
// Drops an en-passant square that no double push can have produced (wrong rank, no enemy pawn
// in front of it, or occupied squares) and recomputes the keys. Returns 1 if it changed anything.
int sanitize_ep_square(Position& pos);
// set_fen into `candidate` (its owner and side to move set by the caller), then
// sanitize_ep_square and validate_position, whose result it returns.
int read_valid_fen(Position& candidate, const char* fen, char* why);
// read_valid_fen into a fresh candidate that records into a scratch history, with `side` as the
// side to move when the FEN names none; the caller installs it when the result is 0. Not
// thread-safe: for the thread that reads commands.
int read_fen_candidate(Position& candidate, const char* fen, int side, char* why);
