// Reading PGN games: a tokenizer over the text of one game, the game record with its moves and
// the engine scores taken from the move comments, and the writer of a game's positions as
// labelled EPD lines.
#pragma once

#include <cstdio>

#include "board/position.h"
#include "core/types.h"

constexpr int PGN_MAX_MOVES = 591;
constexpr int PGN_MOVE_TEXT = 8;
// Positions written per game: at most this many moves are made.
constexpr int PGN_MAX_WRITTEN_MOVES = 240;
// Games from the standard position skip their opening plies.
constexpr int PGN_SKIPPED_OPENING_PLIES = 12;
constexpr int PGN_MATE_SCORE = 9900;
constexpr int PGN_SCORE_LIMIT = 9000;
constexpr int PGN_TOKEN = 1024;

struct PgnGame {
    u32 games_read;     // incremented by every parse
    u16 move_count;
    i16 result;         // 1 for "1-0", -1 for "0-1", 0 otherwise
    i16 annotator_score;
    char fen[100];      // empty for the standard start
    char moves[PGN_MAX_MOVES][PGN_MOVE_TEXT];
    i16 scores[PGN_MAX_MOVES + 1];  // one per move; the last slot labels the final position
    u8 dropped;         // a Termination tag marked the game as not played out
};

// Copies the next token of the text at *cursor into `token` (cut to size - 1 characters, NUL
// terminated) and moves *cursor past the whole token. Returns the token's length before any
// cut, or -1 at the end of the text. Spaces and line ends separate tokens. A token is a
// {comment} (the closing brace is not copied), a whole (variation) with any nested ones, a
// [tag] (brackets inside its quoted value do not end it), a "quoted string", a ;comment up to
// the end of the line, or a run of characters up to a space or one of {}()[];".
int pgn_next_token(const char** cursor, char* token, int size);

// Parses the text of one game (tags and move text; line ends may be '\n' or spaces). Every
// per-game field is reset first; the games counter goes up by one.
void parse_pgn_game(PgnGame& game, const char* text);

// Writes the game's positions as EPD lines "<fen> ce <score>; gr <result>;" (or the FEN alone
// when the game has an annotator score) to `out`, replaying the moves on `pos`. Returns the
// number of lines written; a move that cannot be read ends the game with a message. With
// quiet_only, positions in check and positions whose move is a capture or a promotion are
// left out: a static evaluation cannot see what their search scores rest on.
int write_game_positions(const PgnGame& game, Position& pos, FILE* out, bool quiet_only = false);

// Score of a move comment (the text after "{"): 0 for "book" or text without '/', mate marks
// as +-9900, otherwise the number before the '/' in centipawns (truncated toward zero),
// clamped to +-9000.
int comment_score(const char* comment);
