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

// Sliding attacks by blocker search on each ray: rays towards higher squares stop at their
// lowest occupied square, rays towards lower squares at the highest; each ray includes its
// blocker. Bit 63 (resp. bit 0) stands in for "no blocker": the ray beyond it is empty, so
// XOR-ing it away changes nothing.
inline u64 bishop_attacks(int sq, u64 occupied) {
    u64 a = BishopMask[sq];
    a ^= Ray[DIR_NW][lsb((Ray[DIR_NW][sq] & occupied) | (u64(1) << 63))];
    a ^= Ray[DIR_NE][lsb((Ray[DIR_NE][sq] & occupied) | (u64(1) << 63))];
    a ^= Ray[DIR_SW][msb((Ray[DIR_SW][sq] & occupied) | 1)];
    a ^= Ray[DIR_SE][msb((Ray[DIR_SE][sq] & occupied) | 1)];
    return a;
}

inline u64 rook_attacks(int sq, u64 occupied) {
    u64 a = RookMask[sq];
    a ^= Ray[DIR_N][lsb((Ray[DIR_N][sq] & occupied) | (u64(1) << 63))];
    a ^= Ray[DIR_E][lsb((Ray[DIR_E][sq] & occupied) | (u64(1) << 63))];
    a ^= Ray[DIR_S][msb((Ray[DIR_S][sq] & occupied) | 1)];
    a ^= Ray[DIR_W][msb((Ray[DIR_W][sq] & occupied) | 1)];
    return a;
}
inline u64 queen_attacks(int sq, u64 occupied) { return bishop_attacks(sq, occupied) | rook_attacks(sq, occupied); }
