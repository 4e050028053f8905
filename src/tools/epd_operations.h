// Reading the parts of an EPD line that test suites use: the position fields, the operands of
// named operations, and the scoring of a found move against "bm", "am" and "c0" point tables.
#pragma once

#include "board/position.h"

// Copies the first four fields of the line (the position) into out; returns their number (4 for a
// complete position).
int epd_position_fields(const char* line, char* out, int size);

// Finds the operation `opcode` after the position fields (and any move counters) and copies its
// operand, spaces and quotes kept, into out. An operand ends at the first ';' outside double
// quotes; an operation without its ';' ends the line. Returns 1 when found, else 0 (out empty).
int epd_operation(const char* line, const char* opcode, char* out, int size);

// Reads a move-list operand ("Ba2 Nxf7", "Qd1+, Rb6"): tokens are separated by spaces, commas,
// semicolons and double quotes; a move is SAN or coordinates (a1a8, a7a8q). Returns the number of
// tokens that are legal moves of the side to move, and whether one of them is `move` in *contains.
int epd_move_list(Position& pos, const char* operand, Move move, bool* contains);

// Reads a "c0" point table ("f5=10, Be5+=2"): only tokens of the form move=number whose move is
// legal count. *possible = the largest points value (at least 0); the result is the points of
// `move` (its first entry), 0 when it is not listed. Free text (a game's name, a web link) gives 0
// of 0.
int epd_points(Position& pos, const char* operand, Move move, int* possible);
