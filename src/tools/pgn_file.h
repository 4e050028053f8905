// Splitting a PGN file into the texts of its games: a tag line that follows a line of move
// text starts a new game. Escape lines ('%') are dropped, lines too long for the line buffer
// are dropped whole (never split), and each game's text keeps its line ends.
#pragma once

#include <cstdio>

#include "core/types.h"

struct LineReader;

struct PgnFileReader {
    FILE* file = nullptr;
    LineReader* lines = nullptr;
    char* text = nullptr;   // the game being gathered
    int length = 0;
    char* line = nullptr;
    bool pending = false;   // `line` holds the first tag of the next game
    bool previous_was_tag = true;
    bool at_end = false;
    u64 long_lines = 0;
};

// Opens the file; on failure prints the reason and returns -1.
int pgn_reader_open(PgnFileReader& r, const char* path);
// The text of the next game (valid until the next call), or nullptr at the end of the file.
const char* pgn_reader_next(PgnFileReader& r);
void pgn_reader_close(PgnFileReader& r);
