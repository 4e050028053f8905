// Square-set constants and small helpers shared by the board-layer sources.
#pragma once

#include "core/types.h"

constexpr u64 FILE_A = 0x0101010101010101ull;
constexpr u64 FILE_H = FILE_A << 7;
constexpr u64 RANK_1 = 0xFFull;
constexpr u64 RANK_2 = RANK_1 << 8;
constexpr u64 RANK_3 = RANK_1 << 16;
constexpr u64 RANK_4 = RANK_1 << 24;
constexpr u64 RANK_5 = RANK_1 << 32;
constexpr u64 RANK_6 = RANK_1 << 40;
constexpr u64 RANK_7 = RANK_1 << 48;
constexpr u64 RANK_8 = RANK_1 << 56;
constexpr u64 RANKS_2_TO_7 = ~(RANK_1 | RANK_8);
constexpr u64 RANKS_3_TO_6 = RANK_3 | RANK_4 | RANK_5 | RANK_6;
constexpr u64 LIGHT_SQUARES = 0x55AA55AA55AA55AAull;  // b1, d1, ..., a2, ...: h1 is light
constexpr u64 DARK_SQUARES = ~LIGHT_SQUARES;

// Indexed by colour: where a side's pawns stand before promoting, before stepping onto the
// seventh rank, and where their double pushes land; the push direction.
constexpr u64 PROMOTING_RANK[2] = {RANK_7, RANK_2};
constexpr u64 PRE_SEVENTH_RANK[2] = {RANK_6, RANK_3};
constexpr u64 DOUBLE_PUSH_RANK[2] = {RANK_4, RANK_5};
constexpr int PAWN_PUSH[2] = {8, -8};

// Shift a set one rank towards the opponent of `side`.
constexpr u64 push_forward(u64 b, int side) { return side == WHITE ? b << 8 : b >> 8; }

// Promotion piece type from a pawn move's flags (no flag, or the queen flag: a queen).
constexpr int promotion_type(Move m) {
    return (m & FLAG_PROMO_KNIGHT) ? KNIGHT : (m & FLAG_PROMO_BISHOP) ? BISHOP : (m & FLAG_PROMO_ROOK) ? ROOK : QUEEN;
}
constexpr Move promotion_flag(int type) {
    return type == KNIGHT   ? FLAG_PROMO_KNIGHT
           : type == BISHOP ? FLAG_PROMO_BISHOP
           : type == ROOK   ? FLAG_PROMO_ROOK
                            : FLAG_PROMO_QUEEN;
}

// Castling index (0 WK, 1 WQ, 2 BK, 3 BQ) of a king move's flags for `side`.
constexpr int castling_index(int side, Move m) { return side * 2 + ((m & FLAG_KING_SIDE) ? 0 : 1); }
// King and rook destinations of a castling on the king's rank.
constexpr int castle_king_dest(int king_sq, bool king_side) { return (king_sq & 56) + (king_side ? 6 : 2); }
constexpr int castle_rook_dest(int king_sq, bool king_side) { return (king_sq & 56) + (king_side ? 5 : 3); }

inline bool is_last_rank(int sq) { return sq < 8 || sq >= 56; }
