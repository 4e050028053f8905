// Attack tables, the sliding-piece attacks and the position keys.
#pragma once

#include "core/types.h"

// Ray directions, in the order of the ray table.
enum Direction { DIR_NW = 0, DIR_NE = 1, DIR_SW = 2, DIR_SE = 3, DIR_N = 4, DIR_S = 5, DIR_E = 6, DIR_W = 7 };

extern u64 PawnAttacks[2][64];
extern u64 KnightAttacks[64];
extern u64 KingAttacks[64];
extern u64 Ray[8][64];
extern u64 BishopMask[64];  // empty-board bishop attacks
extern u64 RookMask[64];    // empty-board rook attacks
extern u64 Between[64][64]; // squares strictly between two aligned squares
extern u64 Keys[16][64];    // row = piece code, column = square; row 0 also holds ep and castling keys

extern const char* const SquareNames[65];

// Fills the attack tables (idempotent).
void init_tables();
// Fills the key table the first time it is called; later calls do nothing.
void init_keys();

u64 bishop_attacks(int sq, u64 occupied);
u64 rook_attacks(int sq, u64 occupied);
inline u64 queen_attacks(int sq, u64 occupied) { return bishop_attacks(sq, occupied) | rook_attacks(sq, occupied); }
