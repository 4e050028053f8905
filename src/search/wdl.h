// The win/draw/loss model of the info lines (UCI_ShowWDL): how often games of this engine were
// won, drawn and lost from a given score, by the material left on the board.
#pragma once

#include "board/position.h"

struct WdlRates {
    int win, draw, loss;  // permille, summing to 1000
};

// Rates for `score` (centipawns, side to move's point of view) with `material` = P + 3N + 3B
// + 5R + 9Q of both sides.
WdlRates wdl_from_score(int score, int material);
// The material measure of the model for a position.
int wdl_material(const Position& pos);
