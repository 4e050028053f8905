// Win/no-win table for king and pawn against king, built once at start-up.
#pragma once

#include "core/types.h"

constexpr int KPK_SIZE = 262144;
constexpr u8 KPK_WIN = 2;

// Index of a position seen from the pawn side as White, pawn on files a-d:
// t (0 pawn side to move, 1 the other side) * 131072 + pawn slot * 4096 + king * 64 + defender,
// with pawn slot = file + 4 * rank.
constexpr int kpk_index(int t, int king, int pawn, int defender) {
    return t * 131072 + ((pawn & 7) + 4 * (pawn >> 3)) * 4096 + king * 64 + defender;
}

// Builds the table (does nothing after the first call).
void init_kpk();
// The finished entry at an index: 2 when the pawn side wins, 1 otherwise.
u8 kpk_entry(int index);
// Whether the side with the pawn wins, for a position of any colour and wing: `strong` is the
// colour that owns the pawn, the squares are as on the board.
bool kpk_wins(int strong, int strong_king, int pawn, int weak_king, bool strong_to_move);
