// Self-play games for training data: the game loop (openings, searches at a fixed node budget,
// adjudication) apart from the PGN record it produces.
#pragma once

#include <cstdio>

#include "core/types.h"

struct SelfPlayConfig {
    u32 games;
    const char* out_file;
    const char* openings_file;  // EPD lines to start from; null or empty for the standard start
    int random_plies;           // random legal plies played before the game proper
    u64 nodes;                  // node budget per move
    u64 seed;
    // Adjudication: a win when the score (from White's side) stays at or beyond win_score for
    // win_plies plies in a row; a draw when it stays within draw_score for draw_plies plies
    // after draw_from_ply, or when the game reaches max_plies.
    int win_score, win_plies;
    int draw_score, draw_plies, draw_from_ply;
    int max_plies;
    bool use_tablebases;        // adjudicate by the tablebases once a position is in them
    float progress_seconds;     // how often a progress line is printed
};

// The configuration that Settings describe, with the defaults for everything unset.
SelfPlayConfig selfplay_config_from_settings();

struct SelfPlayTotals {
    u32 games;
    u64 positions;
    u32 white_wins, draws, black_wins;
};
// Plays the games and appends each one to the output as soon as it ends. Returns 0, or 1 when
// the files cannot be used.
int play_selfplay_games(const SelfPlayConfig& config, SelfPlayTotals* totals);
