// The Polyglot book format's position key and move encoding, shared by book probing and book
// building.
#pragma once

#include "board/position.h"

constexpr int POLYGLOT_RANDOM_COUNT = 781;
constexpr int POLYGLOT_CASTLING_BASE = 768;   // white short, white long, black short, black long
constexpr int POLYGLOT_EP_BASE = 772;         // + file of the en-passant square
constexpr int POLYGLOT_WHITE_TO_MOVE = 780;
extern const u64 POLYGLOT_RANDOM64[POLYGLOT_RANDOM_COUNT];

// The standard Polyglot hash of the position. The en-passant file enters only when a pawn of the
// side to move stands beside the pawn that made the double push (legal capture or not).
u64 polyglot_key(const Position& pos);

// Polyglot move: bits 0-5 destination, 6-11 origin, 12-14 promotion piece (1 knight .. 4 queen).
// Castling is written as the king moving onto its own rook's square.
constexpr int POLYGLOT_PROMOTION_SHIFT = 12;
constexpr u16 POLYGLOT_MOVE_MASK = 0x7FFF;  // bit 15 carries nothing

// Encodes a move of the side to move (a move the generator produces) in the Polyglot form.
u16 polyglot_move(const Position& pos, Move move);
// The legal move of the side to move whose Polyglot form is `book_move`, or 0. Matching against
// the generated moves makes e1h1 a castling only when the king stands on e1 and may castle with
// that rook (a rook or queen move e1-h1 stays what it is), gives the engine's own castling
// encoding in Chess960, and rejects moves from empty squares or of the wrong colour.
Move decode_book_move(Position& pos, u16 book_move);
// The origin and destination names of a raw book move ("e1h1"; no promotion letter); out holds
// at least 5 bytes.
void book_move_squares(u16 book_move, char* out);
