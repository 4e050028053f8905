// Reading and writing FEN, castling set-up (standard, X-FEN and Shredder-FEN letters), EPD lines.
#pragma once

#include "board/position.h"

constexpr const char* START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

// Reads a FEN leniently (never reports an error); resets the owner's history. Returns 0.
// The text is not modified.
int set_fen(Position& pos, const char* text);
// Builds castling, castle_rook, castle_span and castle_path from the castling field's text.
// K/Q/k/q name the outermost rook on that side of the king; a file letter names the rook on
// that file (or, if no rook stands there, the single rook on that side).
void set_castling(Position& pos, const char* field);
// Writes the FEN into out (at least 100 bytes); with_counters appends " rule50 history-count".
void get_fen(const Position& pos, char* out, int with_counters);

constexpr int EPD_FIELD = 256;
struct EpdFields {
    char fen[EPD_FIELD];
    char bm[EPD_FIELD];
    char am[EPD_FIELD];
    char ce[EPD_FIELD];
    char sc[EPD_FIELD];
    char gr[EPD_FIELD];
    char id[EPD_FIELD];
    char c0[EPD_FIELD];
};
// Splits an EPD line into its FEN part and the operands of bm, am, ce, sc, gr, id and c0.
void split_epd(const char* line, EpdFields& out);
