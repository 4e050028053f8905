// Shared by the console's command files: the handlers of the command table and the helpers
// that keep the game position and its history consistent.
#pragma once

#include "board/position.h"
#include "engine/command_table.h"

// The game record's position of the console.
Position& console_position();

// Sets the game position from a FEN after validating it; the history is emptied. A FEN the
// engine cannot work with prints "invalid position (reason), keeping the previous one" and
// returns nonzero.
int console_set_position(const char* fen);
// Empties the game history of the current position (nothing to undo or replay).
void console_clear_history();
// Shows the board after a change of the game: with debug_display, the last move and the
// evaluation first.
void console_display();
// "last move was ...", a depth-0 search in this thread and the level-1 evaluation trace.
void show_last_move();
// Enters `text` as a move of the side to move; prints "invalid: ..." when it is none.
void console_enter_move(const char* text);

// Board editor, a mode of the console: edit_begin prints the help and takes the current
// placement; every following line goes to edit_line until one that begins with '.'.
void edit_begin();
void edit_line(const char* line);
bool edit_active();

// Handlers of the game and position commands (console_game.cpp).
void console_new(CommandWords& cmd);
void console_fen(CommandWords& cmd);
void console_get(CommandWords& cmd);
void console_undo(CommandWords& cmd);
void console_forward(CommandWords& cmd);
void console_load(CommandWords& cmd);
void console_save(CommandWords& cmd);
void console_jump(CommandWords& cmd);
void console_reverse(CommandWords& cmd);
// "set" (console_set.cpp).
void console_set(CommandWords& cmd);

// The file names the console reads and writes in the current directory.
constexpr const char* CONSOLE_EPD_FILE = "test.epd";
constexpr const char* CONSOLE_PGN_FILE = "tmp.pgn";
// The depth limit that means "until '.'".
constexpr int CONSOLE_MAX_DEPTH = 80;

// Writes a FEN for a placement (piece codes by square), side to move and castling field, with
// no en-passant square and counters "0 1"; out holds at least 100 bytes.
void placement_to_fen(const u8 board[64], int side, const char* castling, char* out);
