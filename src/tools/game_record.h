// The record of one self-play game and its PGN form: tags with the start position, SAN moves
// each followed by the mover's score and depth ({+0.35/9}, mates as {+M3/12}), the result.
#pragma once

#include <cstdio>

#include "board/position.h"
#include "core/types.h"
#include "tools/san.h"

constexpr int GAME_RECORD_PLIES = 1024;

enum GameResult : int { RESULT_NONE = -2, RESULT_BLACK = -1, RESULT_DRAW = 0, RESULT_WHITE = 1 };

struct GameRecord {
    char start_fen[128];
    int start_fen_rule50;
    int start_side;
    int plies;
    int result;
    const char* termination;
    int round;
    u64 nodes;
    u64 seed;
    char san[GAME_RECORD_PLIES][SAN_TEXT];
    i16 scores[GAME_RECORD_PLIES];        // the mover's score
    i16 white_scores[GAME_RECORD_PLIES];  // the same from White's side
    u8 depths[GAME_RECORD_PLIES];
};

// Appends a move of the side to move (pos is the position before it).
void record_move(GameRecord& g, Position& pos, Move move, int score, int depth);

// The comment text of a score: "+0.35", "-1.20", "0.00", "+M3", "-M2".
void format_pgn_score(int score, char* out, int size);

// Writes the game as PGN and flushes it. Returns 0, or -1 when the write fails.
int write_game_pgn(const GameRecord& g, FILE* out);
