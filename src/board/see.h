// Static exchange evaluation.
#pragma once

#include "board/position.h"

extern const int SeeValue[8];     // none, P, N, B, R, Q, K
extern const int OrdinalValue[8];

int see_gain(const Position& pos, int side, int square, int victim_type, u64 occupied);
int see_move(const Position& pos, int side, int from, int to);
bool capture_ok(const Position& pos, Move move);
