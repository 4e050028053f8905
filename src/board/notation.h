// Move notation (coordinate and algebraic), move parsing and the board diagram.
// Coordinate forms follow settings.uci_mode and settings.chess960.
#pragma once

#include "board/position.h"

constexpr int MOVE_TEXT = 16;

void move_to_uci(const Position& pos, int side, Move move, char* out);
void move_to_text(const Position& pos, int side, Move move, char* out);  // "null" for 0
void move_texts(Position& pos, Move move, char* coord, char* san, char* san_file, char* san_rank);
// Reads a move of the side to move (coordinate, algebraic, disambiguated forms). Returns 1 and
// writes out_move on a unique legal match; prints "ambiguous move" for two matches; else 0.
// The text itself is left unchanged; at most MOVE_TEXT * 2 characters are examined.
int parse_move(Position& pos, char* text, Move* out_move);
// Reads a UCI coordinate move (e2e4, e7e8q, e1g1 or king-takes-rook castling) and returns the
// matching legal move of the side to move, or 0 when the text names no legal move.
Move parse_uci_move(Position& pos, const char* text);
void print_board(const Position& pos);
// Formats the diagram of print_board into out (at least 512 bytes), without the closing newline.
void format_board(const Position& pos, char* out);
