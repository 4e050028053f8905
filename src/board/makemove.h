// Making and unmaking moves with exact restoration.
#pragma once

#include "board/position.h"

void make_move(Position& pos, Move move);
void unmake_move(Position& pos);
void make_null(Position& pos);
void unmake_null(Position& pos);

// Plays a move of the game (not of a search): like make_move, but first drops history entries
// that lie before the last irreversible move once the game part grows past GAME_HISTORY_LIMIT,
// so that arbitrarily long games never overflow the history.
void make_game_move(Position& pos, Move move);
