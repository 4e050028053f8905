// The evaluation trace: how the hand-crafted evaluation arrives at its score for a position,
// group by group and colour by colour, with the network's score beside it and, at level 2,
// the whole parameter table.
#pragma once

#include "board/position.h"
#include "eval/eval_state.h"
#include "eval/params.h"

constexpr int TRACE_BREAKDOWN = 1;
constexpr int TRACE_WITH_PARAMETERS = 2;

// Prints the breakdown of the position's evaluation (level 1) and, from level 2 on, the
// parameters and the piece-square tables. `qscore` is the root quiescence score to show.
void show_eval_trace(Position& pos, EvalState& es, int level, int qscore);

// Prints one piece-square table: the title, then per rank from 8 down to 1 the middle-game
// values of files a-h, five spaces and the end-game values, then an empty line.
void print_pst(const char* title, HceParam* const squares[64]);

