// The batch tools that start-up runs instead of the game driver. Each reads its files and
// limits from Settings and returns the process exit code (0 success, 1 failure).
#pragma once

#include "board/position.h"
#include "core/types.h"

int scan_pgn();          // -scan_pgn: PGN games to labelled EPD positions
int epd_to_bin();        // -epd2bin: labelled EPD lines to training records
int bin_to_epd();        // -bin2epd: training records back to EPD lines
int gen_train_data();    // -gentraindata: training records split by material into eight files
int make_train_data();   // -mktraindata: EPD positions labelled by searches
int run_selfplay();      // -selfplay: games of the engine against itself, written as PGN
int run_trainer();       // -train: trains a network from a training file
int prune_nn();          // -prune_nn: keeps the 1536 most useful first-layer neurons of the network

// The scan behind -scan_pgn, on explicit files. Reports the games read and lines written.
int scan_pgn_file(const char* pgn_path, const char* epd_path, Position& pos, u32* games, u64* lines);

// The position the tools work on: the game's own record of the main thread.
Position& tool_position();
